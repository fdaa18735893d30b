#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "link/record_reader.h"

// Record files as CSV: one header row, then one row per record with the time
// stamp (ISO 8601, empty for a raw entry), the file's name, the entry's number
// in its file, the ten header values and the 60 counts. Numbers are written in
// the shortest form that reads back to the same value.

// The header row, ended by a newline.
std::string csv_header();
// Appends the rows of records [from, to) of r, under the file name given.
void append_csv_rows(std::string& out, const record_reader& r, std::string_view file_name,
                     std::size_t from, std::size_t to);
