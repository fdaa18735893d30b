#include "link/data_record.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using row = std::vector<std::string>;

// A CSV reader of the test's own: fields split at commas, quoted fields with
// doubled quotes, rows at newlines.
std::vector<row> read_csv(const std::string& text) {
    std::vector<row> rows;
    row r;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',' || c == '\n') {
            r.push_back(field);
            field.clear();
            if (c == '\n') {
                rows.push_back(r);
                r.clear();
            }
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(field.empty() && r.empty()) << "last row without its newline";
    return rows;
}

struct run_result {
    int status;
    std::string out, err;
};

run_result run(const temp_dir& dir, const std::string& args) {
    const std::string out = dir.file("stdout"), err = dir.file("stderr");
    const int s = std::system(
        (std::string(MAREV_EXPORT_PATH) + " " + args + " >" + out + " 2>" + err).c_str());
    return {WEXITSTATUS(s), read_file(out), read_file(err)};
}

std::string header_line(int serial, unsigned counter, const char* cal, const char* bl,
                        const char* hv) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "QELM%d,%u,%s,%s,1501,5.00,794,%s,23.99,-11.5,", serial, counter,
                  cal, bl, hv);
    return buf;
}

// Lines whose numbers test the shortest round trip: thirds, tiny and huge
// values, a negative zero, counts that need doubles and counts that do not.
std::vector<std::string> awkward_lines() {
    std::vector<std::string> lines;
    const char* cals[] = {"0.1", "0.33333333333333331", "1e-300", "5e-324",
                          "1.7976931348623157e308"};
    for (unsigned k = 0; k < 5; ++k) {
        std::string l = header_line(int(k) - 1, 4000000000u + k, cals[k], "116600", "-0");
        for (int j = 0; j < 60; ++j)
            l += (j ? "," : "") + std::to_string(k % 2 ? j * 1000 : j) + (k == 2 ? ".25" : "");
        lines.push_back(l);
    }
    return lines;
}

// The value of a numeric CSV field, read as strtod reads it.
double value(const std::string& field) {
    char* end = nullptr;
    const double v = std::strtod(field.c_str(), &end);
    EXPECT_TRUE(!field.empty() && *end == '\0') << "not a number: '" << field << "'";
    return v;
}

void expect_row(const row& r, const std::string& line, const std::string& time,
                const std::string& file, std::size_t number) {
    const auto rec = parse_data_line(line);
    ASSERT_TRUE(rec) << line;
    ASSERT_EQ(r.size(), 73u);
    EXPECT_EQ(r[0], time);
    EXPECT_EQ(r[1], file);
    EXPECT_EQ(r[2], std::to_string(number));
    const double header[] = {double(rec->serial_number),
                             double(rec->counter),
                             rec->cal_coeff,
                             rec->ave_bl,
                             double(rec->pump_rpm),
                             rec->pmt_voltage,
                             double(rec->flow_rpm),
                             rec->hv_control,
                             rec->aux_1,
                             rec->aux_2};
    for (std::size_t k = 0; k < 10; ++k) {
        EXPECT_EQ(value(r[3 + k]), header[k]) << "column " << 3 + k << " of " << line;
        EXPECT_EQ(std::signbit(value(r[3 + k])), std::signbit(header[k])) << r[3 + k];
    }
    for (std::size_t j = 0; j < 60; ++j)
        EXPECT_EQ(value(r[13 + j]), rec->raw_counts[j]) << "count " << j + 1 << " of " << line;
}

TEST(marev_export, every_record_of_every_file_as_the_parser_reads_it) {
    temp_dir dir;
    const std::vector<std::string> lines = awkward_lines();
    // A time-stamped file with bad lines among the good, and a raw one whose
    // name needs quoting.
    const std::string stamped = "2026-12-10,04:31:36," + lines[0] + "\r" + "QELM7,bad\r" +
                                "2026-12-10,04:31:37," + lines[1] + "\r\n" + "junk\r" +
                                "2026-12-10,04:31:38," + lines[2] + "\r";
    const std::string raw = lines[3] + "\r" + lines[4] + "\r";
    write_file(dir.file("a.dat"), stamped);
    write_file(dir.file("b, \"2\".dat"), raw);

    const run_result r = run(dir, dir.file("a.dat") + " '" + dir.file("b, \"2\".dat") + "' -o " +
                                      dir.file("out.csv"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "marev-export: a.dat: 2 bad lines left out\n");
    const std::vector<row> rows = read_csv(read_file(dir.file("out.csv")));
    ASSERT_EQ(rows.size(), 6u);
    row header = {"time",       "file",   "line",     "serial_number", "counter",
                  "cal_coeff",  "ave_bl", "pump_rpm", "pmt_voltage",   "flow_rpm",
                  "hv_control", "aux_1",  "aux_2"};
    for (int k = 1; k <= 60; ++k)
        header.push_back("count_" + std::to_string(k));
    EXPECT_EQ(rows[0], header);
    expect_row(rows[1], lines[0], "2026-12-10T04:31:36", "a.dat", 1);
    expect_row(rows[2], lines[1], "2026-12-10T04:31:37", "a.dat", 3);
    expect_row(rows[3], lines[2], "2026-12-10T04:31:38", "a.dat", 5);
    expect_row(rows[4], lines[3], "", "b, \"2\".dat", 1);
    expect_row(rows[5], lines[4], "", "b, \"2\".dat", 2);
    // Shortest forms, not merely equal values.
    EXPECT_EQ(rows[1][5], "0.1");
    EXPECT_EQ(rows[4][5], "5e-324");
    EXPECT_EQ(rows[1][10], "-0");

    // Without -o the same table goes to standard output.
    const run_result piped = run(dir, dir.file("a.dat") + " '" + dir.file("b, \"2\".dat") + "'");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, read_file(dir.file("out.csv")));
}

TEST(marev_export, a_file_that_is_not_a_record_file_is_named_and_the_rest_exported) {
    temp_dir dir;
    write_file(dir.file("notes.txt"), "nothing here\n");
    write_file(dir.file("a.dat"), awkward_lines()[0] + "\r");
    const run_result r =
        run(dir, dir.file("notes.txt") + " " + dir.file("a.dat") + " " + dir.file("gone.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "marev-export: Not a record file: notes.txt\n"
                     "marev-export: Could not open file: gone.dat\n");
    const std::vector<row> rows = read_csv(r.out);
    ASSERT_EQ(rows.size(), 2u);
    expect_row(rows[1], awkward_lines()[0], "", "a.dat", 1);

    const run_result none = run(dir, "");
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("usage: marev-export FILE... [-o OUT.csv]"), std::string::npos);
}

} // namespace
