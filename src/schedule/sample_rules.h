#pragma once

// The rules of a schedule that do not depend on the window: how a typed box
// reads as a number, how long a sample lasts, how many samples follow, and
// where a sample's file goes.

#include <QChar>
#include <QDir>
#include <QString>

#include <cstdint>
#include <optional>

namespace marev {

// The whole number at the start of a typed text: leading white space, an
// optional sign, then decimal digits up to the first other character; 0 when
// the text does not begin so ("1.5" reads 1, "abc" 0). Nothing is rejected;
// a number beyond 64 bits stays at the nearest limit.
std::int64_t read_whole_number(const QString& text);

// Seconds of one unit of the length box: an hour when the unit box reads
// "hours", and a minute otherwise ("minutes", or a text of the user's own).
std::int64_t unit_seconds(const QString& unit_text);

// The longest sample, either way, in seconds: lengths are kept within signed
// 32 bits (just over 68 years), so they mean the same wherever they go.
inline constexpr std::int64_t max_sample_seconds = 2147483647;

// Length of a sample in seconds from the texts of the length and unit boxes;
// nothing when it leaves +-max_sample_seconds. Zero and negative lengths are
// lengths: such a sample ends at the next one-second tick.
std::optional<std::int64_t> sample_seconds(const QString& run_for, const QString& unit_text);

// The times that the clock text and the local breakdown can show: the years
// 1 to 9999, with a day to spare for any time zone.
inline constexpr std::int64_t first_clock_time = -62135596800 + 86400;
inline constexpr std::int64_t last_clock_time = 253402300799 - 86400;
inline bool within_clock(std::int64_t t) {
    return t >= first_clock_time && t <= last_clock_time;
}

// The choices of the window, in its order.
enum class repeat_choice { once, reps, without_end };

// Samples still to start after the first: 0 for one sample, N - 1 for
// "Repeat N times", -1 without end. A count of 0 or one that does not read
// gives -1 as well, and a negative count stays below -1; both run without end.
std::int32_t reps_left_for(repeat_choice choice, const QString& reps_text);

// Longest path of a record file that the program keeps (record_path).
inline constexpr qsizetype max_record_path = 1023;

// The folder text exactly as typed, the separator, then the file name. A
// folder that ends in a separator gives two in a row; an empty folder gives a
// path that begins with the separator.
inline QString sample_path(const QString& folder, const QString& file_name,
                           QChar separator = QDir::separator()) {
    return folder + separator + file_name;
}

} // namespace marev
