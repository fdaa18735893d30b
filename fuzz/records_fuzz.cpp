// An arbitrary file, as record files come from anywhere: the reader must
// agree with a plain reading of the whole file at once, and a file read in
// two parts (as a growing file is) must give what one read gives.
#include "link/link_error.h"
#include "link/record_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "record reader invariant broken: %s\n", what);
        std::abort();
    }
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_stamp(std::string_view s) {
    if (s.size() < 20)
        return false;
    for (std::size_t k = 0; k < 20; ++k) {
        const char want = "dddd-dd-dd,dd:dd:dd,"[k];
        if (want == 'd' ? !is_digit(s[k]) : s[k] != want)
            return false;
    }
    const auto num = [&](std::size_t at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); };
    return num(5) >= 1 && num(5) <= 12 && num(8) >= 1 && num(8) <= 31 && num(11) <= 23 &&
           num(14) <= 59 && num(17) <= 60;
}

struct model {
    std::vector<data_record> records;
    std::vector<std::size_t> lines;
    std::size_t bad = 0;
    bool accepted = false;
};

// The whole file at once: entries at CR or LF, pieces where "QELM" (or a
// stamp and "QELM") follows a digit, the unfinished last piece left unless it
// is too long to be a line.
model read_plainly(std::string_view file) {
    model m;
    std::size_t entries = 0;
    const auto piece = [&](std::string_view p, std::size_t at, bool final) {
        if (p.empty())
            return;
        if (!final) {
            if (p.size() > max_line_length + 20 + 64) {
                ++entries;
                ++m.bad;
            }
            return;
        }
        ++entries;
        const auto rec = parse_data_line(is_stamp(p) ? p.substr(20) : p);
        if (!rec) {
            ++m.bad;
            return;
        }
        if (m.records.empty())
            m.accepted = at < 64 * 1024;
        m.records.push_back(*rec);
        m.lines.push_back(entries);
    };
    std::size_t start = 0;
    for (std::size_t i = 0; i <= file.size(); ++i) {
        const bool end = i == file.size();
        if (!end && file[i] != '\r' && file[i] != '\n')
            continue;
        const std::string_view entry = file.substr(start, i - start);
        std::size_t from = 0;
        for (std::size_t q = 1; q + 4 <= entry.size(); ++q) {
            if (entry.substr(q, 4) != "QELM")
                continue;
            const std::size_t s = q >= 20 && is_stamp(entry.substr(q - 20)) ? q - 20 : q;
            if (s > from && is_digit(entry[s - 1])) {
                piece(entry.substr(from, s - from), start + from, true);
                from = s;
            }
        }
        piece(entry.substr(from), start + from, !end);
        start = i + 1;
    }
    return m;
}

bool same(const data_record& a, const data_record& b) {
    const auto eq = [](double x, double y) { return x == y || (x != x && y != y); };
    bool ok = a.serial_number == b.serial_number && a.counter == b.counter &&
              eq(a.cal_coeff, b.cal_coeff) && eq(a.ave_bl, b.ave_bl) && a.pump_rpm == b.pump_rpm &&
              eq(a.pmt_voltage, b.pmt_voltage) && a.flow_rpm == b.flow_rpm &&
              eq(a.hv_control, b.hv_control) && eq(a.aux_1, b.aux_1) && eq(a.aux_2, b.aux_2);
    for (std::size_t j = 0; j < 60; ++j)
        ok = ok && eq(a.raw_counts[j], b.raw_counts[j]);
    return ok;
}

void write(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    static const std::string path = "/tmp/fuzz-records-" + std::to_string(getpid()) + ".dat";
    // The first two bytes choose where the file is cut for the two-part read.
    const std::size_t cut = (std::size_t(data[0]) << 8 | data[1]) % (size - 1);
    const std::string_view file(reinterpret_cast<const char*>(data + 2), size - 2);
    const model m = read_plainly(file);

    write(path, file);
    record_reader whole(path);
    bool accepted = true;
    try {
        check(whole.read(), "a read without progress ends");
    } catch (const link_error&) {
        accepted = false;
    }
    check(accepted == m.accepted, "record file or not");
    if (!accepted)
        return 0;
    check(whole.record_count() == m.records.size(), "record count");
    check(whole.bad_lines() == m.bad, "bad lines");
    for (std::size_t i = 0; i < m.records.size(); ++i) {
        check(same(whole.record(i), m.records[i]), "record values");
        check(whole.line(i) == m.lines[i], "line number");
    }

    write(path, file.substr(0, cut));
    record_reader parts(path);
    try {
        parts.read();
    } catch (const link_error&) {
        return 0; // no data line yet in the first part
    }
    write(path, file);
    parts.read();
    check(parts.record_count() == whole.record_count(), "two-part record count");
    check(parts.bad_lines() == whole.bad_lines(), "two-part bad lines");
    check(parts.bytes_read() == file.size(), "two-part bytes read");
    for (std::size_t i = 0; i < whole.record_count(); ++i) {
        check(same(parts.record(i), whole.record(i)), "two-part values");
        check(parts.line(i) == whole.line(i) && parts.time(i) == whole.time(i), "two-part place");
    }
    return 0;
}
