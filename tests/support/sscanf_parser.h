#pragma once

#include <optional>
#include <string_view>

#include "link/data_record.h"

// The data line parser written the straightforward way, with the C library's
// sscanf and the line format's own patterns. Tests, fuzzing and benchmarks
// hold the fast parser against it.
std::optional<data_record> parse_data_line_sscanf(std::string_view line);

// Whether two parse results are the same, bit for bit (NaNs included).
bool same_result(const std::optional<data_record>& a, const std::optional<data_record>& b);
