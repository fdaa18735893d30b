#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "link/data_record.h"

// The line step written out literally over unbounded lists, to hold the
// reader's compact bookkeeping against.
struct literal_reader {
    std::string rx;
    std::vector<std::string> lines;
    std::size_t scan = 0;
    int bad = -1;
    bool synced = false;
    std::vector<data_record> records;
    std::int32_t serial = 0;

    void feed(std::string_view bytes) {
        for (char c : bytes) {
            rx.push_back(c);
            if (c == '\n')
                step();
        }
    }
    void step() {
        if (!synced) {
            const std::size_t limit = rx.size() - 4; // without sign
            for (; scan < limit; ++scan) {
                if (rx[scan] == '\n') {
                    synced = true;
                    ++scan;
                    ++bad;
                    return;
                }
            }
            return;
        }
        const std::size_t nl = rx.find('\n', scan);
        lines.push_back(rx.substr(scan, nl - scan));
        scan = nl + 1;
        const auto r = parse_data_line(lines.back());
        if (!r) {
            synced = false;
            return;
        }
        records.push_back(*r);
        serial = r->serial_number;
    }
    void clear() {
        rx.clear();
        lines.clear();
        scan = 0;
        bad = 0;
        records.clear();
    }
};
