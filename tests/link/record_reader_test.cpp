#include "link/link_error.h"
#include "link/record_reader.h"

#include "data_lines.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A data line of serial number 7 whose counts are all `count`.
std::string entry(unsigned counter, double count = 12) {
    return data_line({.counter = counter, .count = count, .same_counts = true});
}

// entry() without its carriage return.
std::string bare(unsigned counter, double count = 12) {
    std::string l = entry(counter, count);
    l.pop_back();
    return l;
}

const std::string stamp1 = "2026-12-10,04:31:36,"; // 1796877096 read as UTC
const std::int64_t t1 = 1796877096;

struct expected_record {
    unsigned counter;
    std::int64_t time; // -1: none
    std::size_t line;
};

struct form_case {
    const char* name;
    std::string content;
    std::vector<expected_record> records;
    std::size_t bad;
};

// What the reader gives for every record equals what the parser gives for its line.
void expect_records(const record_reader& r, const std::vector<expected_record>& want,
                    const char* name) {
    ASSERT_EQ(r.record_count(), want.size()) << name;
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(std::string(name) + ", record " + std::to_string(i));
        const data_record rec = r.record(i);
        const auto parsed = parse_data_line(bare(want[i].counter));
        ASSERT_TRUE(parsed);
        EXPECT_EQ(rec.counter, want[i].counter);
        EXPECT_EQ(rec.serial_number, parsed->serial_number);
        EXPECT_EQ(rec.ave_bl, parsed->ave_bl);
        EXPECT_EQ(r.ave_bl(i), parsed->ave_bl);
        EXPECT_EQ(rec.aux_2, parsed->aux_2);
        EXPECT_EQ(rec.raw_counts, parsed->raw_counts);
        EXPECT_EQ(r.has_time(i), want[i].time >= 0);
        if (want[i].time >= 0) {
            EXPECT_EQ(r.time(i), want[i].time);
        }
        EXPECT_EQ(r.line(i), want[i].line);
    }
}

TEST(record_reader, reads_both_forms_and_every_line_end) {
    const std::vector<form_case> cases = {
        {"raw, as written", entry(1) + entry(2), {{1, -1, 1}, {2, -1, 2}}, 0},
        {"CR LF", entry(1) + "\n" + entry(2) + "\n", {{1, -1, 1}, {2, -1, 2}}, 0},
        {"LF", bare(1) + "\n" + bare(2) + "\n", {{1, -1, 1}, {2, -1, 2}}, 0},
        {"time stamps",
         stamp1 + entry(1) + "2026-12-10,04:31:37," + entry(2),
         {{1, t1, 1}, {2, t1 + 1, 2}},
         0},
        {"mixed, as when the format is switched while recording",
         entry(1) + stamp1 + entry(2) + entry(3),
         {{1, -1, 1}, {2, t1, 2}, {3, -1, 3}},
         0},
        {"bad lines counted and numbered",
         "QELM7,bad\r" + entry(1) + "junk\r\n" + stamp1 + "QELM7,1\r" + entry(2),
         {{1, -1, 2}, {2, -1, 5}},
         3},
        {"a stamp with an impossible date is a bad line",
         "2026-13-10,04:31:36," + entry(1) + entry(2),
         {{2, -1, 2}},
         1},
        {"lines of a bare-newline instrument that ran together",
         bare(1) + bare(2) + stamp1 + bare(3) + stamp1 + entry(4),
         {{1, -1, 1}, {2, -1, 2}, {3, t1, 3}, {4, t1, 4}},
         0},
        {"blank entries are not lines", "\r\n\r\n\n" + entry(1) + "\n\r\n", {{1, -1, 1}}, 0},
        {"over-long entries are bad lines, and the lines after them are found",
         std::string(20000, 'x') + "1" + entry(1) + std::string(9000, 'y') + "\r" +
             entry(2),
         {{1, -1, 2}, {2, -1, 4}},
         2},
        {"an unfinished last entry waits", entry(1) + bare(2), {{1, -1, 1}}, 0},
    };
    temp_dir dir;
    for (const form_case& c : cases) {
        const std::string path = dir.file("r.dat");
        write_file(path, c.content);
        record_reader r(path);
        EXPECT_TRUE(r.read());
        expect_records(r, c.records, c.name);
        EXPECT_EQ(r.bad_lines(), c.bad) << c.name;
    }
}

TEST(record_reader, a_growing_file_is_read_on_from_where_it_stopped) {
    // Cut the file everywhere a writer could have stopped: inside a line,
    // between CR and LF, inside a time stamp, in "QELM" of a run-together line.
    const std::string whole = entry(1) + "\n" + stamp1 + entry(2) + "\n" + bare(3) +
                              stamp1 + bare(4) + "\n" + entry(5) + "\n";
    const std::vector<expected_record> want = {
        {1, -1, 1}, {2, t1, 2}, {3, -1, 3}, {4, t1, 4}, {5, -1, 5}};
    temp_dir dir;
    const std::string path = dir.file("g.dat");
    for (std::size_t cut = 1; cut < whole.size(); cut += 7) {
        write_file(path, whole.substr(0, cut));
        record_reader r(path);
        try {
            r.read();
        } catch (const link_error&) {
            continue; // no whole line yet
        }
        write_file(path, whole);
        EXPECT_TRUE(r.read());
        expect_records(r, want, ("cut at " + std::to_string(cut)).c_str());
        EXPECT_EQ(r.bad_lines(), 0u) << cut;
        EXPECT_EQ(r.bytes_read(), whole.size());
    }

    // An unfinished entry that grew too long for a line is a bad line at
    // once; what follows its end is read as usual.
    write_file(path, entry(1) + std::string(20000, 'x'));
    record_reader longer(path);
    longer.read();
    EXPECT_EQ(longer.bad_lines(), 1u);
    write_file(path, entry(1) + std::string(30000, 'x') + "5" + entry(2));
    longer.read();
    expect_records(longer, {{1, -1, 1}, {2, -1, 3}}, "over-long");
    EXPECT_EQ(longer.bad_lines(), 1u);

    // A file replaced by a shorter one is read again from its start.
    write_file(path, whole);
    record_reader r(path);
    r.read();
    write_file(path, stamp1 + entry(9));
    r.read();
    expect_records(r, {{9, t1, 1}}, "replaced");
    EXPECT_EQ(r.restarts(), 1u);
}

TEST(record_reader, refuses_what_is_not_a_record_file) {
    const std::string junk(100, 'j');
    std::string junk_70k, junk_60k;
    while (junk_70k.size() < 70 * 1024)
        junk_70k += junk + "\r\n";
    while (junk_60k.size() < 60 * 1024)
        junk_60k += junk + "\r\n";
    struct {
        const char* name;
        std::string content;
        bool accepted;
    } const cases[] = {
        {"empty", "", false},
        {"text", "Dear colleague,\nthe files are attached.\n", false},
        {"binary", std::string(200000, '\0'), false},
        {"no data line in the first 64 KB", junk_70k + entry(1), false},
        {"a data line within the first 64 KB", junk_60k + entry(1), true},
    };
    temp_dir dir;
    for (const auto& c : cases) {
        const std::string path = dir.file("notes.txt");
        write_file(path, c.content);
        record_reader r(path);
        if (c.accepted) {
            EXPECT_NO_THROW(r.read()) << c.name;
            EXPECT_EQ(r.record_count(), 1u) << c.name;
            continue;
        }
        try {
            r.read();
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const link_error& e) {
            EXPECT_STREQ(e.what(), "Not a record file: notes.txt") << c.name;
        }
    }
    record_reader missing(dir.file("gone.dat"));
    try {
        missing.read();
        ADD_FAILURE() << "a missing file was read";
    } catch (const link_error& e) {
        EXPECT_STREQ(e.what(), "Could not open file: gone.dat");
        EXPECT_NE(e.detail().find("No such file"), std::string::npos) << e.detail();
    }
}

TEST(record_reader, progress_is_reported_and_a_stopped_read_goes_on_later) {
    // More than one block of the reader, with counts that need doubles.
    std::string content;
    unsigned n = 0;
    while (content.size() < 9'000'000) {
        ++n;
        content += stamp1 + entry(n, n % 3 ? 12 : 0.25);
    }
    temp_dir dir;
    const std::string path = dir.file("big.dat");
    write_file(path, content);

    record_reader r(path);
    std::vector<std::uint64_t> seen;
    EXPECT_FALSE(r.read([&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, content.size());
        seen.push_back(done);
        return false;
    }));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_LT(seen[0], content.size());
    EXPECT_LT(r.record_count(), n);
    EXPECT_TRUE(r.read([&](std::uint64_t done, std::uint64_t) {
        EXPECT_GT(done, seen.back());
        seen.push_back(done);
        return true;
    }));
    EXPECT_EQ(seen.back(), content.size());
    ASSERT_EQ(r.record_count(), n);
    EXPECT_EQ(r.bad_lines(), 0u);
    for (unsigned i : {0u, 1u, 2u, n / 2, n - 1}) {
        const auto parsed = parse_data_line(entry(i + 1, (i + 1) % 3 ? 12 : 0.25));
        EXPECT_EQ(r.record(i).raw_counts, parsed->raw_counts) << i;
        EXPECT_EQ(r.record(i).cal_coeff, parsed->cal_coeff) << i;
        EXPECT_EQ(r.line(i), i + 1);
    }
}

TEST(record_reader, iso_time_of_stamps) {
    EXPECT_EQ(iso_time(t1), "2026-12-10T04:31:36");
    EXPECT_EQ(iso_time(0), "1970-01-01T00:00:00");
    EXPECT_EQ(iso_time(951782400), "2000-02-29T00:00:00");
    EXPECT_EQ(iso_time(-1), "1969-12-31T23:59:59");
    EXPECT_EQ(iso_time(4102444799), "2099-12-31T23:59:59");
}

} // namespace
