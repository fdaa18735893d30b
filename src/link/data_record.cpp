#include "link/data_record.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

// The line format was defined by the C library's sscanf patterns, so this
// reader follows glibc's scanf rules to the letter: which characters a number
// conversion swallows (it takes "1e" of "1e,", and "0x." of "0x.,"), when it
// fails, how an integer out of range saturates and is cut to 32 bits. The
// values themselves come from std::from_chars, which rounds as strtod does.

namespace {

using iter = const char*;

constexpr bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
constexpr bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool is_xdigit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
constexpr char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

void skip_space(iter& p, iter end) {
    while (p != end && is_space(*p))
        ++p;
}

// %d: white space, optional sign, decimal digits. Like strtol the value
// saturates at the 64-bit range; storing it in an int keeps the low 32 bits.
bool scan_int(iter& p, iter end, std::uint32_t& out) {
    skip_space(p, end);
    iter q = p;
    bool neg = false;
    if (q != end && (*q == '+' || *q == '-'))
        neg = *q++ == '-';
    constexpr std::uint64_t over = (std::uint64_t{1} << 63) + 1;
    std::uint64_t mag = 0;
    iter digits = q;
    for (; q != end && is_digit(*q); ++q) {
        if (mag >= over)
            continue;
        if (mag > (std::numeric_limits<std::uint64_t>::max() - 9) / 10)
            mag = over;
        else
            mag = std::min(mag * 10 + std::uint64_t(*q - '0'), over);
    }
    if (q == digits)
        return false;
    std::int64_t v;
    if (!neg)
        v = mag > std::uint64_t(std::numeric_limits<std::int64_t>::max())
                ? std::numeric_limits<std::int64_t>::max()
                : std::int64_t(mag);
    else
        v = mag >= (std::uint64_t{1} << 63) ? std::numeric_limits<std::int64_t>::min()
                                            : -std::int64_t(mag);
    out = static_cast<std::uint32_t>(static_cast<std::uint64_t>(v));
    p = q;
    return true;
}

// A value out of double's range: from_chars leaves it unset, strtod gives
// infinity or zero. Which one follows from the decimal (or binary) exponent.
double out_of_range(iter b, iter e, bool hex) {
    bool neg = false;
    if (b != e && (*b == '-' || *b == '+'))
        neg = *b++ == '-';
    if (hex)
        b += 2;
    const char exp_char = hex ? 'p' : 'e';
    std::int64_t magnitude = 0; // position of the first non-zero digit
    bool seen = false, dot = false;
    iter p = b;
    for (; p != e && lower(*p) != exp_char; ++p) {
        if (*p == '.') {
            dot = true;
            continue;
        }
        const bool zero = *p == '0';
        if (!seen && !zero)
            seen = true;
        if (seen && !dot)
            ++magnitude;
        else if (!seen && dot)
            --magnitude;
    }
    std::int64_t ex = 0;
    if (p != e) {
        ++p;
        bool eneg = false;
        if (p != e && (*p == '-' || *p == '+'))
            eneg = *p++ == '-';
        for (; p != e && is_digit(*p); ++p)
            ex = std::min<std::int64_t>(ex * 10 + (*p - '0'), 1'000'000'000);
        if (eneg)
            ex = -ex;
    }
    const double big = std::numeric_limits<double>::infinity();
    const double v = (hex ? magnitude * 4 + ex : magnitude + ex) > 0 ? big : 0.0;
    return neg ? -v : v;
}

// The value of the characters a %lf conversion took (always a valid prefix).
double convert(iter b, iter e, bool hex) {
    iter s = b;
    if (s != e && *s == '+')
        ++s;
    double v = 0;
    std::from_chars_result r;
    if (!hex) {
        r = std::from_chars(s, e, v, std::chars_format::general);
    } else {
        const bool neg = *s == '-';
        s += neg ? 3 : 2; // past "0x"
        r = std::from_chars(s, e, v, std::chars_format::hex);
        if (r.ec == std::errc::invalid_argument)
            v = 0; // only the 0 of "0x" was a number
        if (neg)
            v = -v;
    }
    if (r.ec == std::errc::result_out_of_range)
        v = out_of_range(b, e, hex);
    return v;
}

// %lf, as glibc's scanf reads it: white space, then the longest run that can
// start a number (sign, "nan", "inf"/"infinity", hexadecimal "0x" form,
// digits, one decimal point, one exponent with its sign), then the value of
// that run's longest valid prefix. Fails when the run has no such prefix.
bool scan_double(iter& p, iter end, double& out) {
    skip_space(p, end);
    if (p == end)
        return false;
    iter q = p;
    bool sign = false;
    if (*q == '+' || *q == '-') {
        sign = true;
        if (++q == end)
            return false;
    }
    auto word = [&](const char* w) {
        for (; *w; ++w, ++q)
            if (q == end || lower(*q) != *w)
                return false;
        return true;
    };
    if (lower(*q) == 'n') {
        if (!word("nan"))
            return false;
        out = convert(p, q, false);
        p = q;
        return true;
    }
    if (lower(*q) == 'i') {
        if (!word("inf"))
            return false;
        if (q != end && lower(*q) == 'i' && !word("inity"))
            return false;
        out = convert(p, q, false);
        p = q;
        return true;
    }
    bool hex = false, got_digit = false, got_dot = false, got_e = false;
    char exp_char = 'e';
    if (*q == '0') {
        ++q;
        if (q != end && lower(*q) == 'x') {
            hex = true;
            exp_char = 'p';
            ++q;
        } else {
            got_digit = true;
        }
    }
    for (; q != end; ++q) {
        const char c = *q;
        if (is_digit(c) || (!got_e && hex && is_xdigit(c)))
            got_digit = true;
        else if (got_e && lower(q[-1]) == exp_char && (c == '-' || c == '+'))
            continue;
        else if (got_digit && !got_e && lower(c) == exp_char)
            got_e = got_dot = true;
        else if (!got_dot && c == '.')
            got_dot = true;
        else
            break;
    }
    const std::ptrdiff_t taken = q - p;
    if (taken == std::ptrdiff_t(sign) || (hex && taken == 2 + std::ptrdiff_t(sign)))
        return false;
    if (!hex && !got_digit)
        return false; // ".", "-." : nothing strtod could read
    if (!hex && !got_dot && !got_e && taken - std::ptrdiff_t(sign) <= 15) {
        // Whole numbers, the instrument's usual counts, are exact as doubles.
        std::int64_t v = 0;
        for (iter d = p + std::ptrdiff_t(sign); d != q; ++d)
            v = v * 10 + (*d - '0');
        out = *p == '-' ? -double(v) : double(v);
        p = q;
        return true;
    }
    out = convert(p, q, hex);
    p = q;
    return true;
}

bool literal(iter& p, iter end, char c) {
    if (p == end || *p != c)
        return false;
    ++p;
    return true;
}

bool scan_double_field(iter& p, iter end, double& out) {
    return scan_double(p, end, out) && literal(p, end, ',');
}

bool scan_int_field(iter& p, iter end, std::uint32_t& out) {
    return scan_int(p, end, out) && literal(p, end, ',');
}

} // namespace

std::optional<data_record> parse_data_line(std::string_view line) {
    if (line.size() >= max_line_length)
        return std::nullopt;
    line = line.substr(0, line.find('\0'));
    iter p = line.data();
    const iter end = p + line.size();

    data_record r;
    std::uint32_t serial = 0;
    if (line.substr(0, 4) != "QELM")
        return std::nullopt;
    p += 4;
    if (!scan_int_field(p, end, serial) || !scan_int_field(p, end, r.counter) ||
        !scan_double_field(p, end, r.cal_coeff) || !scan_double_field(p, end, r.ave_bl) ||
        !scan_int_field(p, end, r.pump_rpm) || !scan_double_field(p, end, r.pmt_voltage) ||
        !scan_int_field(p, end, r.flow_rpm) || !scan_double_field(p, end, r.hv_control) ||
        !scan_double_field(p, end, r.aux_1) || !scan_double_field(p, end, r.aux_2))
        return std::nullopt;
    r.serial_number = static_cast<std::int32_t>(serial);

    // The remainder: everything up to a newline, at least one character.
    iter rest = p;
    iter rest_end = p;
    while (rest_end != end && *rest_end != '\n')
        ++rest_end;
    if (rest == rest_end)
        return std::nullopt;

    // Each count: a number, then ", rest". Without a further comma and text the
    // remainder stays, so its number is read again for every count to come;
    // a remainder of only white space repeats the last number.
    double last = 0;
    for (std::size_t k = 0; k < r.raw_counts.size(); ++k) {
        iter q = rest;
        skip_space(q, rest_end);
        if (q == rest_end) {
            if (k == 0)
                return std::nullopt;
            r.raw_counts[k] = last;
            continue;
        }
        if (!scan_double(q, rest_end, last))
            return std::nullopt;
        r.raw_counts[k] = last;
        skip_space(q, rest_end);
        if (literal(q, rest_end, ',')) {
            skip_space(q, rest_end);
            if (q != rest_end)
                rest = q;
        }
    }
    return r;
}
