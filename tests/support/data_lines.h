#pragma once

#include <string>

// The values of a data line that a test plays the instrument with. Rows of
// values name what they change: data_line({.counter = 3, .pmt = 0}).
struct line_values {
    int serial = 7;
    unsigned counter = 17;
    double ave_bl = 123456;
    unsigned pump = 1500;
    double pmt = 5.01;
    double hv = 0.5;
    // Count 0, and with same_counts every count. Otherwise count j is j + 1
    // for the others, so that each count is told apart.
    double count = 42;
    bool same_counts = false;
};

// A good data line, carriage return kept, without its newline. Counts are
// written exactly (a count of 2.5 or -3 reads back as it was).
std::string data_line(const line_values& v = {});

// Line i of a run whose lines differ in count 0 alone (1000 + i): lines a
// test can tell apart in a record file.
std::string line(int i);
