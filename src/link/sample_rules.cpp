#include "link/sample_rules.h"

#include <limits>

namespace marev {

std::int64_t read_whole_number(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    // The white space of the C library's number reading, no more.
    while (i < n && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Counted towards the negative limit, which is one further out.
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value < (lowest + digit) / 10) {
            value = lowest;
            continue;
        }
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    return value == lowest ? std::numeric_limits<std::int64_t>::max() : -value;
}

std::int64_t unit_seconds(std::string_view unit_text) {
    return unit_text == "hours" ? 3600 : 60;
}

std::optional<std::int64_t> sample_seconds(std::string_view run_for, std::string_view unit_text) {
    const std::int64_t n = read_whole_number(run_for);
    const std::int64_t unit = unit_seconds(unit_text);
    if (n > max_sample_seconds / unit || n < -max_sample_seconds / unit)
        return std::nullopt;
    return n * unit;
}

std::int32_t reps_left_for(repeat_choice choice, std::string_view reps_text) {
    switch (choice) {
    case repeat_choice::once:
        return 0;
    case repeat_choice::without_end:
        return -1;
    case repeat_choice::reps:
        break;
    }
    // A count beyond 32 bits is as good as its limit: no run gets there.
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    const std::int64_t n = read_whole_number(reps_text);
    const std::int64_t left = n < lo ? lo : n > hi ? hi - 1 : n - 1;
    return static_cast<std::int32_t>(left < lo ? lo : left);
}

namespace {

// Only digits, at least one: a command line takes no sign, space or fraction.
bool all_digits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

std::optional<std::int64_t> parse_sample_length(std::string_view text) {
    if (text.size() < 2)
        return std::nullopt;
    std::int64_t unit = 0;
    switch (text.back()) {
    case 's':
        unit = 1;
        break;
    case 'm':
        unit = 60;
        break;
    case 'h':
        unit = 3600;
        break;
    default:
        return std::nullopt;
    }
    const std::string_view digits = text.substr(0, text.size() - 1);
    if (!all_digits(digits))
        return std::nullopt;
    const std::int64_t n = read_whole_number(digits);
    if (n <= 0 || n > max_sample_seconds / unit)
        return std::nullopt;
    return n * unit;
}

std::optional<std::int32_t> parse_sample_count(std::string_view text) {
    if (text == "forever")
        return reps_left_for(repeat_choice::without_end, text);
    if (!all_digits(text) || read_whole_number(text) < 1 ||
        read_whole_number(text) > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return reps_left_for(repeat_choice::reps, text);
}

} // namespace marev
