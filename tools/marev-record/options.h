#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// What the command line asks of the recorder.
struct record_options {
    int port = 2;       // COM number; the program's default port
    std::string device; // a device opened by its path instead of a COM number
    std::string folder = ".";
    bool time_stamps = false;
    std::int64_t sample_length = 0; // seconds; 0: one file until stopped
    std::int32_t samples_left = -1; // samples after the first; -1 without end
    bool quiet = false;
    bool help = false;
};

// A command line that cannot be followed; what() says why.
struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The words after the program's name. Throws usage_error.
record_options parse_record_options(const std::vector<std::string>& args);

// The usage block and what each option does.
extern const char* const usage_text;
std::string help_text();
