#pragma once

// The rules of a schedule that do not depend on a window, shared by the
// program and the recorder: how a typed number reads, how long a sample lasts,
// how many samples follow, and where a sample's file goes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marev {

// The whole number at the start of a typed text: leading white space, an
// optional sign, then decimal digits up to the first other character; 0 when
// the text does not begin so ("1.5" reads 1, "abc" 0). Nothing is rejected;
// a number beyond 64 bits stays at the nearest limit. The text is UTF-8; only
// ASCII white space and digits count.
std::int64_t read_whole_number(std::string_view text);

// Seconds of one unit of the length box: an hour when the unit box reads
// "hours", and a minute otherwise ("minutes", or a text of the user's own).
std::int64_t unit_seconds(std::string_view unit_text);

// The longest sample, either way, in seconds: lengths are kept within signed
// 32 bits (just over 68 years), so they mean the same wherever they go.
inline constexpr std::int64_t max_sample_seconds = 2147483647;

// Length of a sample in seconds from the texts of the length and unit boxes;
// nothing when it leaves +-max_sample_seconds. Zero and negative lengths are
// lengths: such a sample ends at the next one-second tick.
std::optional<std::int64_t> sample_seconds(std::string_view run_for, std::string_view unit_text);

// A sample length as a command line gives it: a whole number of seconds,
// minutes or hours ("90s", "30m", "2h"), above zero and within
// max_sample_seconds; nothing for any other text.
std::optional<std::int64_t> parse_sample_length(std::string_view text);

// The times that the clock text and the local breakdown can show: the years
// 1 to 9999, with a day to spare for any time zone.
inline constexpr std::int64_t first_clock_time = -62135596800 + 86400;
inline constexpr std::int64_t last_clock_time = 253402300799 - 86400;
inline bool within_clock(std::int64_t t) {
    return t >= first_clock_time && t <= last_clock_time;
}
// The stop time of a sample of the given length started at now, kept within
// the clock's range.
inline std::int64_t sample_stop(std::int64_t now, std::int64_t length) {
    const std::int64_t t = now + length;
    return t < first_clock_time ? first_clock_time : t > last_clock_time ? last_clock_time : t;
}

// The choices of the schedule window, in its order.
enum class repeat_choice { once, reps, without_end };

// Samples still to start after the first: 0 for one sample, N - 1 for
// "Repeat N times", -1 without end. A count of 0 or one that does not read
// gives -1 as well, and a negative count stays below -1; both run without end.
std::int32_t reps_left_for(repeat_choice choice, std::string_view reps_text);

// A number of samples as a command line gives it: "forever", or a whole
// number from 1. The result counts as reps_left_for does: samples still to
// start after the first, -1 without end; nothing for any other text.
std::optional<std::int32_t> parse_sample_count(std::string_view text);

// Longest path of a record file that the program keeps (record_path), in
// characters.
inline constexpr std::ptrdiff_t max_record_path = 1023;

#ifdef _WIN32
inline constexpr char path_separator = '\\';
#else
inline constexpr char path_separator = '/';
#endif

// The folder text exactly as typed, the separator, then the file name. A
// folder that ends in a separator gives two in a row; an empty folder gives a
// path that begins with the separator.
inline std::string sample_path(std::string_view folder, std::string_view file_name,
                               char separator = path_separator) {
    std::string path(folder);
    path += separator;
    path += file_name;
    return path;
}

} // namespace marev
