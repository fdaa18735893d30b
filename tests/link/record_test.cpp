#include "link/clock.h"
#include "link/link_error.h"
#include "link/qelm_reader.h"
#include "link/reconnect.h"

#include "data_lines.h"
#include "fake_instrument.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

namespace {

// A clock whose local time is five and a half hours ahead of UTC in whatever
// zone the tests run: stamps must come from the clock's local breakdown.
class zoned_clock : public marev::fake_clock {
public:
    using fake_clock::fake_clock;
    marev::local_time local(std::int64_t t) const override {
        const std::time_t shifted = static_cast<std::time_t>(t + 5 * 3600 + 30 * 60);
        std::tm tm{};
#ifdef _WIN32
        ::gmtime_s(&tm, &shifted);
#else
        ::gmtime_r(&shifted, &tm);
#endif
        return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                tm.tm_min,         tm.tm_sec,     tm.tm_wday};
    }
};

class record : public ::testing::Test {
protected:
    void SetUp() override {
        qelm_reader::set_synced(false);
        marev::set_clock(&clock);
        r.receive("\r\n"); // start of the stream
    }
    void TearDown() override { marev::set_clock(nullptr); }

    void lines(unsigned from, unsigned to) {
        for (unsigned c = from; c <= to; ++c)
            r.receive(data_line({.counter = c}) + "\n");
    }
    std::string expected(unsigned from, unsigned to, const std::string& stamp = "") {
        std::string s;
        for (unsigned c = from; c <= to; ++c)
            s += stamp + data_line({.counter = c});
        return s;
    }

    zoned_clock clock{1199178303}; // 2008-01-01 09:05:03 UTC, 14:35:03 local
    temp_dir dir;
    qelm_reader r;
};

TEST_F(record, raw_entries_are_the_lines_back_to_back_and_on_disk_at_once) {
    const std::string path = dir.file("a.dat");
    r.open_record(path, 0);
    EXPECT_EQ(r.record_start(), clock.now());
    lines(1, 3);
    r.write_records();
    // No line end of the program's own; the file holds every batch at once.
    EXPECT_EQ(read_file(path), expected(1, 3));
    r.write_records();
    EXPECT_EQ(read_file(path), expected(1, 3));
    lines(4, 4);
    r.write_records();
    r.close_record();
    EXPECT_EQ(read_file(path), expected(1, 4));
    EXPECT_EQ(r.record_error(), "");
}

TEST_F(record, time_stamped_entries_carry_the_time_of_writing) {
    const std::string path = dir.file("t.dat");
    r.set_include_time(true);
    r.open_record(path, 0);
    lines(1, 2);
    clock.advance(1);
    r.write_records();
    r.close_record();
    EXPECT_EQ(read_file(path), expected(1, 2, "2008-01-01,14:35:04,"));
}

TEST_F(record, stamps_switch_on_between_batches) {
    const std::string path = dir.file("s.dat");
    r.open_record(path, 0);
    lines(1, 1);
    r.write_records();
    r.set_include_time(true);
    lines(2, 2);
    r.write_records();
    r.close_record();
    EXPECT_EQ(read_file(path), expected(1, 1) + expected(2, 2, "2008-01-01,14:35:03,"));
}

TEST_F(record, an_appended_file_keeps_what_it_held_and_its_start) {
    const std::string path = dir.file("a.dat");
    r.open_record(path, 0);
    lines(1, 2);
    r.write_records();
    r.close_record();
    // The instrument came back to a fresh reader: the file goes on.
    qelm_reader::set_synced(false);
    qelm_reader back;
    back.receive("\r\n");
    back.append_record(path, 0, clock.now() - 600);
    EXPECT_EQ(back.record_start(), clock.now() - 600);
    for (unsigned c = 5; c <= 6; ++c)
        back.receive(data_line({.counter = c}) + "\n");
    back.write_records();
    back.close_record();
    EXPECT_EQ(read_file(path), expected(1, 2) + expected(5, 6));
}

TEST_F(record, entries_end_with_a_carriage_return_even_when_the_line_had_none) {
    // An instrument that ends its lines with a bare newline: without a CR of
    // their own the entries would run together in the file.
    const std::string path = dir.file("n.dat");
    r.set_include_time(true);
    r.open_record(path, 0);
    std::string line = data_line({.counter = 1});
    line.pop_back();
    r.receive(line + "\n");
    lines(2, 2);
    r.write_records();
    r.close_record();
    const std::string stamp = "2008-01-01,14:35:03,";
    EXPECT_EQ(read_file(path), stamp + line + "\r" + expected(2, 2, stamp));
}

TEST(reconnect_wait, tries_every_period_from_the_loss_and_not_in_bursts) {
    marev::reconnect_wait w;
    EXPECT_FALSE(w.try_due(0));
    w.lost(10'000);
    EXPECT_TRUE(w.waiting());
    EXPECT_FALSE(w.try_due(11'999));
    EXPECT_EQ(w.ms_to_next_try(11'000), 1000);
    EXPECT_TRUE(w.try_due(12'000));
    EXPECT_FALSE(w.try_due(12'100));
    EXPECT_EQ(w.seconds_lost(17'999), 7);
    // A tick an hour late makes one try, not a burst of them.
    EXPECT_TRUE(w.try_due(3'612'000));
    EXPECT_FALSE(w.try_due(3'612'050));
    w.end();
    EXPECT_FALSE(w.try_due(4'000'000));
    EXPECT_EQ(w.seconds_lost(4'000'000), 0);
}

TEST_F(record, first_index_and_cleared_lines) {
    lines(1, 10);
    ASSERT_EQ(r.line_count(), 10u);
    const std::string path = dir.file("c.dat");
    r.open_record(path, 10);
    r.clear_lines();
    lines(11, 12);
    r.write_records();
    EXPECT_EQ(r.written(), 2u);
    EXPECT_EQ(read_file(path), "");
    lines(13, 13);
    r.write_records();
    r.close_record();
    EXPECT_EQ(read_file(path), expected(13, 13));

    // After a clear, index 0 records every line from the first.
    r.clear();
    r.open_record(path, 0); // and opening an existing file empties it
    lines(20, 21);          // still synchronised: each line at its own newline
    r.write_records();
    r.close_record();
    EXPECT_EQ(read_file(path), expected(20, 21));
}

TEST_F(record, open_failures_keep_the_earlier_state) {
    try {
        r.open_record(dir.file("no/such/folder.dat"), 3);
        FAIL() << "opened";
    } catch (const link_error& e) {
        EXPECT_STREQ(e.what(), "Unable to open file for saving.");
    }
    EXPECT_FALSE(r.record_open());
    EXPECT_EQ(r.written(), 0u);

    const std::string first = dir.file("first.dat");
    r.open_record(first, 0);
    EXPECT_THROW(r.open_record(dir.file("second.dat"), 0), link_error);
    EXPECT_FALSE(std::filesystem::exists(dir.file("second.dat")));
    lines(1, 1);
    r.write_records();
    EXPECT_EQ(read_file(first), expected(1, 1));
    r.close_record();
    r.close_record(); // closing a closed file does nothing
}

#ifndef _WIN32
TEST_F(record, a_full_disk_is_reported_not_hidden) {
    r.open_record("/dev/full", 0);
    lines(1, 2);
    r.write_records();
    EXPECT_NE(r.record_error().find("No space left"), std::string::npos) << r.record_error();
    lines(3, 3);
    r.write_records(); // goes on without crashing; the error stays
    EXPECT_FALSE(r.record_error().empty());
    r.close_record();
}
#endif

TEST_F(record, lines_are_held_only_while_they_may_be_written) {
    const std::string path = dir.file("h.dat");
    r.open_record(path, 0);
    lines(1, 1500);
    // Not yet written: all held.
    EXPECT_EQ(r.first_held_line(), 0u);
    r.write_records();
    lines(1501, 1501);
    EXPECT_EQ(r.first_held_line(), 501u);
    EXPECT_THROW(r.line(0), std::out_of_range);
    r.write_records();
    r.close_record();
    EXPECT_EQ(read_file(path), expected(1, 1501));
}

TEST(record_name, follows_the_serial_number_and_the_clock) {
    EXPECT_EQ(record_file_name(7, {2007, 3, 5, 14, 2, 9, 1}), "qelm007_20070305140209.dat");
    EXPECT_EQ(record_file_name(12, {2010, 11, 9, 0, 0, 0, 2}), "qelm012_20101109000000.dat");
    EXPECT_EQ(record_file_name(12345, {2026, 12, 31, 23, 59, 59, 4}),
              "qelm12345_20261231235959.dat");
}

TEST(clock_text, english_names_and_a_line_feed) {
    EXPECT_EQ(marev::clock_text({2008, 3, 4, 9, 5, 3, 2}), "Tue Mar 04 09:05:03 2008\n");
    marev::fake_clock c(4102444800); // 2100-01-01 00:00:00 UTC, past 2038
    EXPECT_EQ(marev::clock_text(c.local(c.now())), "Fri Jan 01 00:00:00 2100\n");
}

} // namespace
