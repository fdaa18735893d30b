#pragma once

#include <string>
#include <string_view>
#include <vector>

// The lines of a record file, in order, each without its line end and without
// a leading time stamp ("YYYY-MM-DD,hh:mm:ss,"). Record files hold the lines
// as received, CR kept and LF dropped, so CR, LF and CR LF all end a line;
// empty lines are skipped. Throws std::runtime_error when the file cannot be
// read or holds no line.
std::vector<std::string> read_record_file(const std::string& path);

// Splits record file text as above.
std::vector<std::string> split_record_text(std::string_view text);
