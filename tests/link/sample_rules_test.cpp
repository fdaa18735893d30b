#include "link/sample_rules.h"

#include "link/clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace {

using marev::repeat_choice;

constexpr std::int64_t i64_max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();
constexpr std::int32_t i32_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t i32_min = std::numeric_limits<std::int32_t>::min();

TEST(schedule_rules, a_typed_box_reads_as_the_whole_number_it_begins_with) {
    struct row {
        std::string text;
        std::int64_t value;
    };
    const row rows[] = {
        {"1", 1},
        {"1.5", 1},
        {"  42 minutes", 42},
        {"\t\n\v\f\r7", 7},
        {"+3", 3},
        {"-12x", -12},
        {"007", 7},
        {"", 0},
        {"abc", 0},
        {"- 3", 0},
        {"+-3", 0},
        {"0x10", 0},
        {".5", 0},
        {"\u00a012", 0},     // no-break space is not white space here
        {"\u0661\u0662", 0}, // nor are other scripts' digits digits
        {"9223372036854775807", i64_max},
        {"-9223372036854775808", i64_min},
        {"99999999999999999999999", i64_max},
        {"-99999999999999999999999", i64_min},
    };
    for (const row& r : rows)
        EXPECT_EQ(marev::read_whole_number(r.text), r.value) << r.text;
}

TEST(schedule_rules, a_sample_lasts_the_length_times_its_unit_within_32_bits) {
    struct row {
        std::string run_for, unit;
        std::optional<std::int64_t> seconds;
    };
    const row rows[] = {
        {"1", "hours", 3600},
        {"1.5", "hours", 3600},
        {"abc", "hours", 0},
        {"0", "minutes", 0},
        {"90", "minutes", 5400},
        {"2", "secs", 120},  // a unit of the user's own counts minutes
        {"2", "Hours", 120}, // and so does anything but the item itself
        {"2", "", 120},
        {" -3", "hours", -10800},
        {"596523", "hours", std::int64_t(596523) * 3600},
        {"596524", "hours", std::nullopt},
        {"-596523", "hours", -std::int64_t(596523) * 3600},
        {"-596524", "hours", std::nullopt},
        {"35791394", "minutes", std::int64_t(35791394) * 60},
        {"35791395", "minutes", std::nullopt},
        {"99999999999999999999", "minutes", std::nullopt},
        {"-99999999999999999999", "hours", std::nullopt},
    };
    for (const row& r : rows)
        EXPECT_EQ(marev::sample_seconds(r.run_for, r.unit), r.seconds)
            << r.run_for << " " << r.unit;
}

TEST(schedule_rules, the_clock_range_is_what_the_clock_text_can_show) {
    marev::fake_clock utc; // the tests run in UTC
    EXPECT_EQ(marev::clock_text(utc.local(marev::last_clock_time)), "Thu Dec 30 23:59:59 9999\n");
    EXPECT_EQ(marev::clock_text(utc.local(marev::first_clock_time)), "Tue Jan 02 00:00:00 0001\n");
    EXPECT_TRUE(marev::within_clock(1'700'000'000));
    EXPECT_TRUE(marev::within_clock(marev::last_clock_time));
    EXPECT_FALSE(marev::within_clock(marev::last_clock_time + 1));
    EXPECT_TRUE(marev::within_clock(marev::first_clock_time));
    EXPECT_FALSE(marev::within_clock(marev::first_clock_time - 1));
    // A sample's stop stays within the range whatever its length.
    EXPECT_EQ(marev::sample_stop(1'700'000'000, 90), 1'700'000'090);
    EXPECT_EQ(marev::sample_stop(marev::last_clock_time - 10, 3600), marev::last_clock_time);
    EXPECT_EQ(marev::sample_stop(marev::first_clock_time + 10, -3600), marev::first_clock_time);
}

TEST(schedule_rules, samples_left_after_the_first_follow_the_choice_and_count) {
    struct row {
        repeat_choice choice;
        std::string reps;
        std::int32_t left;
    };
    const row rows[] = {
        {repeat_choice::once, "5", 0},
        {repeat_choice::without_end, "5", -1},
        {repeat_choice::reps, "3", 2},
        {repeat_choice::reps, "1", 0},
        {repeat_choice::reps, "0", -1},   // without end
        {repeat_choice::reps, "abc", -1}, // reads as 0
        {repeat_choice::reps, "2.9", 1},
        {repeat_choice::reps, "-2", -3}, // below -1: without end as well
        {repeat_choice::reps, "-2147483648", i32_min},
        {repeat_choice::reps, "-99999999999", i32_min},
        {repeat_choice::reps, "99999999999", i32_max - 1},
    };
    for (const row& r : rows)
        EXPECT_EQ(marev::reps_left_for(r.choice, r.reps), r.left)
            << int(r.choice) << " " << r.reps;
}

TEST(schedule_rules, the_path_is_folder_separator_and_name_as_typed) {
    struct row {
        std::string folder;
        char separator;
        std::string path;
    };
    const row rows[] = {
        {"/data/qelm", '/', "/data/qelm/f.dat"},
        {"/data/qelm/", '/', "/data/qelm//f.dat"},
        {"", '/', "/f.dat"},
        {"C:\\", '\\', "C:\\\\f.dat"},
        {"D:\\runs", '\\', "D:\\runs\\f.dat"},
        {"", '\\', "\\f.dat"},
        {" my runs ", '/', " my runs /f.dat"},
    };
    for (const row& r : rows)
        EXPECT_EQ(marev::sample_path(r.folder, "f.dat", r.separator), r.path);
#ifdef _WIN32
    EXPECT_EQ(marev::sample_path("C:\\", "f.dat"), "C:\\\\f.dat");
#else
    // A backslash is an ordinary character of a file name here.
    EXPECT_EQ(marev::sample_path("/data", "f.dat"), "/data/f.dat");
#endif
}

TEST(schedule_rules, a_command_line_gives_lengths_with_a_unit_and_counts_or_forever) {
    const struct {
        std::string text;
        std::optional<std::int64_t> seconds;
    } lengths[] = {
        {"90s", 90},
        {"30m", 1800},
        {"2h", 7200},
        {"1s", 1},
        {"007m", 420},
        {"596523h", 596523 * 3600LL},
        {"596524h", std::nullopt}, // beyond 32 bits of seconds
        {"2147483647s", 2147483647},
        {"2147483648s", std::nullopt},
        {"0s", std::nullopt},
        {"90", std::nullopt},
        {"s", std::nullopt},
        {"", std::nullopt},
        {"-5m", std::nullopt},
        {"+5m", std::nullopt},
        {" 5m", std::nullopt},
        {"1.5h", std::nullopt},
        {"2d", std::nullopt},
        {"5M", std::nullopt},
        {"99999999999999999999s", std::nullopt},
    };
    for (const auto& r : lengths)
        EXPECT_EQ(marev::parse_sample_length(r.text), r.seconds) << r.text;

    // As the schedule counts them: samples after the first, -1 without end.
    const struct {
        std::string text;
        std::optional<std::int32_t> left;
    } counts[] = {
        {"forever", -1},
        {"1", 0},
        {"3", 2},
        {"2147483647", 2147483646},
        {"0", std::nullopt},
        {"2147483648", std::nullopt},
        {"-1", std::nullopt},
        {"", std::nullopt},
        {"Forever", std::nullopt},
        {"3x", std::nullopt},
    };
    for (const auto& r : counts)
        EXPECT_EQ(marev::parse_sample_count(r.text), r.left) << r.text;
}

} // namespace
