#include "data_lines.h"

#include <cstdio>

std::string data_line(const line_values& v) {
    char head[256];
    std::snprintf(head, sizeof head, "QELM%d,%u,1.25e-05,%g,%u,%.2f,1200,%.4f,0.5,-1", v.serial,
                  v.counter, v.ave_bl, v.pump, v.pmt, v.hv);
    std::string line = head;
    char c[40];
    for (int j = 0; j < 60; ++j) {
        std::snprintf(c, sizeof c, ",%.17g", j == 0 || v.same_counts ? v.count : double(j + 1));
        line += c;
    }
    return line + "\r";
}

std::string line(int i) {
    return data_line({.count = 1000.0 + i});
}
