// The calibration file without windows: the scan of a line, the tolerant
// reading of a whole file, the %g line and the two ways of saving.
#include "calibration/calibration_file.h"

#include "file_size_limit.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using values = std::vector<double>;

values flat(const calibration_history& h) {
    EXPECT_EQ(h.hv1.size(), h.hv2.size());
    EXPECT_EQ(h.hv1.size(), h.hv3.size());
    values out;
    for (std::size_t i = 0; i < h.size(); ++i)
        out.insert(out.end(), {h.hv1[i], h.hv2[i], h.hv3[i]});
    return out;
}

struct scan_case {
    std::string text;
    bool cut = false; // the line was cut at the end of the buffer
    std::optional<values> expected = std::nullopt;
};

TEST(calfile, scans_three_numbers_from_the_start_of_a_line) {
    using namespace std::string_literals;
    const scan_case cases[] = {
        {.text = "12345.7\t98.25\t1.5e+06\tTue Mar 04 09:05:03 2008\r",
         .expected = values{12345.7, 98.25, 1.5e6}},
        {.text = "  1.5E3   -2e-3\t\t+7 whatever follows", .expected = values{1500, -0.002, 7}},
        {.text = "1 2 3", .expected = values{1, 2, 3}},     // no date at all
        {.text = "1 2 3x", .expected = values{1, 2, 3}},    // the "word" may touch the number
        {.text = "0x10 1 2", .expected = values{16, 1, 2}}, // as %lf reads it
        {.text = ""},
        {.text = "\r"},
        {.text = "Tue Mar 04 09:05:03 2008"},
        {.text = "1 2"},
        {.text = "1 2 date"},
        {.text = "1,2,3"},
        {.text = "1 2\0 3"s}, // a NUL ends the text
        // Of a line cut at the buffer, the third number must end inside it.
        {.text = "1 2 3", .cut = true},
        {.text = "1 2 3 ", .cut = true, .expected = values{1, 2, 3}},
    };
    for (const scan_case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto got = scan_calibration_line(c.text, c.cut);
        ASSERT_EQ(got.has_value(), c.expected.has_value());
        if (got) {
            EXPECT_EQ((values{got->hv1, got->hv2, got->hv3}), *c.expected);
        }
    }
}

TEST(calfile, reading_skips_lines_without_a_calibration_and_keeps_the_histories_equal) {
    const std::string file = "1\t2\t3\tMon Jan 01 00:00:00 2024\r\n"
                             "\r\n"
                             "text only\r\n"
                             "4 5\n"
                             "4.5e1 5e-1\t6 LF alone\n"
                             "7 8 9 no line end at the end";
    const calibration_history h = read_calibrations(file);
    EXPECT_EQ(flat(h), (values{1, 2, 3, 45, 0.5, 6, 7, 8, 9}));
    EXPECT_EQ(h.skipped, 3u);

    // A line end at the very end gives no further entry.
    EXPECT_EQ(read_calibrations("1 2 3\r\n").size(), 1u);
    EXPECT_EQ(read_calibrations("").size(), 0u);
    EXPECT_EQ(read_calibrations("\r\n\r\n").size(), 0u);
}

TEST(calfile, an_over_long_line_is_cut_and_the_reading_goes_on) {
    const std::size_t limit = calibration_line_limit;
    const std::string long_date = "4 5 6\t" + std::string(3 * limit, 'x');
    // The third number runs over the end of the part that is scanned.
    const std::string cut_number = "7 8 " + std::string(limit - 6, ' ') + "123456";
    const std::string junk(5 * limit, '#');
    const std::string file = "1 2 3\r\n" + long_date + "\r\n" + cut_number + "\r\n" + junk +
                             "\n10 11 12\r\n" + std::string(limit - 7, ' ') + "1 2 3\r\n";
    const calibration_history h = read_calibrations(file);
    EXPECT_EQ(flat(h), (values{1, 2, 3, 4, 5, 6, 10, 11, 12, 1, 2, 3}));
    EXPECT_EQ(h.skipped, 2u);

    // Fed a byte at a time, the reader sees the same lines.
    calibration_reader r;
    for (char c : file)
        r.feed(std::string_view(&c, 1));
    EXPECT_EQ(flat(r.finish()), flat(h));
}

TEST(calfile, a_million_lines_and_binary_junk_are_read_line_by_line) {
    using namespace std::string_literals;
    const std::string two = "1.25\t2.5\t5 x\r\n\x01\xff\x7f junk\0 1 2 3\r\n"s;
    std::string file;
    for (int i = 0; i < 500000; ++i)
        file += two;
    const calibration_history h = read_calibrations(file);
    EXPECT_EQ(h.size(), 500000u);
    EXPECT_EQ(h.skipped, 500000u);
    EXPECT_EQ(h.hv3.back(), 5.0);
}

TEST(calfile, values_are_written_with_percent_g_and_lines_end_in_cr_lf) {
    for (double v : {12345.678, 98.25, 1.5e6, 1234567.0, 0.0001, 1e-5, 100.0, 0.0, -3.25}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%g", v);
        EXPECT_EQ(format_g(v), expected);
    }
    EXPECT_EQ(format_g(12345.678), "12345.7");
    const std::string line =
        calibration_line({12345.678, 98.25, 1.5e6}, "Tue Mar 04 09:05:03 2008\n");
    EXPECT_EQ(line, "12345.7\t98.25\t1.5e+06\tTue Mar 04 09:05:03 2008\r\n");
    EXPECT_EQ(flat(read_calibrations(line + line)),
              (values{12345.7, 98.25, 1.5e6, 12345.7, 98.25, 1.5e6}));
}

TEST(calfile, saving_replaces_or_appends_and_never_runs_two_lines_together) {
    temp_dir dir;
    const std::string path = dir.file("cal.txt");
    write_file(path, "old content\r\nmore\r\n");
    auto r = save_calibration_line(path, "1\t2\t3\tA\r\n", calibration_save::replace);
    EXPECT_TRUE(r.opened && r.written) << r.error;
    EXPECT_EQ(read_file(path), "1\t2\t3\tA\r\n");

    r = save_calibration_line(path, "4\t5\t6\tB\r\n", calibration_save::append);
    EXPECT_TRUE(r.opened && r.written) << r.error;
    EXPECT_EQ(read_file(path), "1\t2\t3\tA\r\n4\t5\t6\tB\r\n");

    // A last line left without its line end (edited by hand) is ended first.
    write_file(path, "1 2 3 typed");
    save_calibration_line(path, "4\t5\t6\tB\r\n", calibration_save::append);
    EXPECT_EQ(read_file(path), "1 2 3 typed\r\n4\t5\t6\tB\r\n");

    // Appending makes a missing file.
    const std::string fresh = dir.file("new.txt");
    EXPECT_TRUE(save_calibration_line(fresh, "7\t8\t9\tC\r\n", calibration_save::append).written);
    EXPECT_EQ(read_file(fresh), "7\t8\t9\tC\r\n");
    const auto loaded = load_calibration_file(fresh);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(flat(*loaded), (values{7, 8, 9}));
}

TEST(calfile, failures_to_open_read_or_write_say_why) {
    temp_dir dir;
    const std::string nowhere = dir.file("missing/cal.txt");
    for (calibration_save mode : {calibration_save::append, calibration_save::replace}) {
        const auto r = save_calibration_line(nowhere, "1\t2\t3\tA\r\n", mode);
        EXPECT_FALSE(r.opened);
        EXPECT_FALSE(r.written);
        EXPECT_NE(r.error.find("missing"), std::string::npos) << r.error;
    }

    std::string why;
    EXPECT_FALSE(load_calibration_file(nowhere, &why));
    EXPECT_FALSE(why.empty());
    // Nor is a folder or a device a calibration file.
    why.clear();
    EXPECT_FALSE(load_calibration_file(dir.path(), &why));
    EXPECT_FALSE(why.empty());

    EXPECT_FALSE(load_calibration_file("/dev/zero", &why)); // would never end
}

#ifdef __unix__
TEST(calfile, a_line_that_does_not_reach_the_disk_is_not_reported_as_saved) {
    temp_dir dir;
    const std::string path = dir.file("cal.txt");
    write_file(path, "1\t2\t3\tA\r\n");
    for (calibration_save mode : {calibration_save::append, calibration_save::replace}) {
        calibration_save_result r;
        {
            file_size_limit full(8);
            r = save_calibration_line(path, "4\t5\t6\tB\r\n", mode);
        }
        EXPECT_TRUE(r.opened);
        EXPECT_FALSE(r.written);
        EXPECT_FALSE(r.error.empty());
        // No torn line is left behind to be read as a calibration.
        EXPECT_EQ(read_file(path), mode == calibration_save::append ? "1\t2\t3\tA\r\n" : "");
    }
}
#endif

} // namespace
