#include "link/data_record.h"

#include "data_lines.h"
#include "sscanf_parser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string counts(int n, const std::string& each = "3") {
    std::string s;
    for (int k = 0; k < n; ++k)
        s += (k ? "," : "") + each;
    return s;
}

const std::string header = "QELM7,42,1.5e-05,123.25,1500,5.00,1200,0.550,0.5,-1,";

TEST(parser, good_line_gives_exactly_its_values) {
    std::string line = "QELM12,4000000000,2.5e-05,1.5e3,1500,4.75,1200,0.612,7,-8,";
    for (int k = 1; k <= 60; ++k)
        line += std::to_string(k) + (k < 60 ? "," : "\r");
    const auto r = parse_data_line(line);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->serial_number, 12);
    EXPECT_EQ(r->counter, 4000000000u);
    EXPECT_EQ(r->cal_coeff, 2.5e-05);
    EXPECT_EQ(r->ave_bl, 1500.0);
    EXPECT_EQ(r->pump_rpm, 1500u);
    EXPECT_EQ(r->pmt_voltage, 4.75);
    EXPECT_EQ(r->flow_rpm, 1200u);
    EXPECT_EQ(r->hv_control, 0.612);
    EXPECT_EQ(r->aux_1, 7.0);
    EXPECT_EQ(r->aux_2, -8.0);
    for (int k = 0; k < 60; ++k)
        EXPECT_EQ(r->raw_counts[k], k + 1);
}

struct count_case {
    const char* what;
    std::string line;
    bool good = false;
    int first_repeat = 0; // counts from this index (0-based) on equal `repeat`
    double repeat = 0;
};

TEST(parser, line_format_cases) {
    const std::string c58 = counts(57, "1") + ",9";
    const std::string cases_12x = counts(29, "1") + ",12x,4,5";
    const count_case cases[] = {
        {.what = "blanks around count commas",
         .line = header + "1 , 2 ,\t3" + "," + counts(57),
         .good = true,
         .first_repeat = 3,
         .repeat = 3},
        {.what = "blank before a header value",
         .line = "QELM 7, 42,1.5e-05, 123,1500,5,1200,0.5,0,0," + counts(60),
         .good = true,
         .repeat = 3},
        {.what = "blank before QELM", .line = " " + header + counts(60)},
        {.what = "carriage return before QELM", .line = "\r" + header + counts(60)},
        {.what = "blank before a header comma", .line = "QELM7,42 ,1,1,1,1,1,1,1,1," + counts(60)},
        {.what = "58 counts repeat the 58th",
         .line = header + c58,
         .good = true,
         .first_repeat = 57,
         .repeat = 9},
        {.what = "12x ends the counts",
         .line = header + cases_12x,
         .good = true,
         .first_repeat = 29,
         .repeat = 12},
        {.what = "two commas among counts", .line = header + "1,2,,3," + counts(56)},
        {.what = "70 counts keep the first 60",
         .line = header + counts(60, "2") + "," + counts(10, "8"),
         .good = true,
         .repeat = 2},
        {.what = "empty line", .line = ""},
        {.what = "ends after the tenth comma", .line = header},
        {.what = "remainder of blanks only", .line = header + "   \r"},
        {.what = "a single count stands for all", .line = header + "6", .good = true, .repeat = 6},
        {.what = "text instead of the first count", .line = header + "x," + counts(59)},
        {.what = "a header field that is text", .line = "QELM7,x,1,1,1,1,1,1,1,1," + counts(60)},
        {.what = "nine header fields, then text", .line = "QELM7,1,1,1,1,1,1,1,1,x"},
        {.what = "NUL ends the line",
         .line = header + "5" + std::string(1, '\0') + ",junk",
         .good = true,
         .repeat = 5},
        {.what = "NUL inside the header",
         .line = "QELM7,4" + std::string(1, '\0') + "2,1,1,1,1,1,1,1,1,1"},
        {.what = "4095 bytes",
         .line = header + "1," + std::string(4095 - header.size() - 2, ' '),
         .good = true,
         .repeat = 1},
        {.what = "4096 bytes", .line = header + "1," + std::string(4096 - header.size() - 2, ' ')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = parse_data_line(c.line);
        EXPECT_TRUE(same_result(r, parse_data_line_sscanf(c.line)));
        ASSERT_EQ(r.has_value(), c.good);
        if (!c.good)
            continue;
        for (int k = c.first_repeat; k < 60; ++k)
            EXPECT_EQ(r->raw_counts[k], c.repeat) << "count " << k;
    }
}

TEST(parser, integers_wrap_as_the_c_library_stores_them) {
    const struct {
        const char* text;
        std::int32_t serial;
    } cases[] = {
        {"-1", -1},
        {"+5", 5},
        {"2147483648", -2147483647 - 1},
        {"4294967303", 7},
        {"99999999999999999999", -1}, // saturates at the 64-bit maximum
        {"-99999999999999999999", 0}, // saturates at the 64-bit minimum
        {"-9223372036854775808", 0},
        {"007", 7},
    };
    for (const auto& c : cases) {
        const std::string line = std::string("QELM") + c.text + ",-1,1,1,1,1,1,1,1,1,1";
        const auto r = parse_data_line(line);
        ASSERT_TRUE(r) << c.text;
        EXPECT_EQ(r->serial_number, c.serial) << c.text;
        EXPECT_EQ(r->counter, 4294967295u);
#ifndef _WIN32 // Windows' sscanf saturates an integer that does not fit
        EXPECT_TRUE(same_result(r, parse_data_line_sscanf(line))) << c.text;
#endif
    }
}

// Number spellings where the C library's reading is easy to get wrong: what a
// conversion swallows, when it fails, special values.
TEST(parser, number_spellings_match_the_c_library) {
    const char* numbers[] = {
        "1e",
        "1e+",
        "1e-",
        "1E5",
        "1e5e",
        "1ee",
        "0e",
        "0.e1",
        ".e1",
        ".5",
        "5.",
        ".",
        "-.",
        "-",
        "+",
        "1.2.3",
        "-0",
        "00012",
        "0x",
        "-0x",
        "0x.",
        "0x.8",
        "0x1p3",
        "0X1P-1",
        "0x1e2",
        "0x1p+",
        "0x1.8p",
        "0xg",
        "0x1p99999",
        "0x1p-99999",
        "0x1P-1074",
        "inf",
        "INF",
        "infinity",
        "infi",
        "infin",
        "infinitx",
        "-inf",
        "+inf",
        "nan",
        "NaN",
        "-nan",
        "+nan",
        "nanx",
        "nan(12)",
        "in",
        "n",
        "1e999",
        "-1e999",
        "1e-999",
        "1e-310",
        "2.2250738585072011e-308",
        "123456789012345678901234567890",
        "0.1e-4000",
        "9e+",
        "  7",
        "\t7",
        "\v7",
        "\f-7",
        "4.94065645841246544e-324",
        "1.7976931348623157e308",
        "1.7976931348623159e308",
    };
    for (const char* n : numbers) {
        for (const std::string& line : {
                 "QELM7,1," + std::string(n) + ",1,1,1,1,1,1,1,1",
                 header + n + ",2," + counts(58),
                 header + "1," + n + " , 3",
                 header + n,
             }) {
            SCOPED_TRACE(line);
            EXPECT_TRUE(same_result(parse_data_line(line), parse_data_line_sscanf(line)));
        }
    }
}

// Many random corruptions of good lines, each compared with the sscanf
// reading: truncations, inserted blanks, commas, signs, exponents, letters
// and NUL bytes.
TEST(parser, random_mutations_match_the_c_library) {
    std::mt19937 rng(20261209);
    const std::string pieces[] = {" ",   ",", "-",           "+",  "e",  "E",  "e-",
                                  ".",   "x", "0x",          "\0", "\r", "\t", "inf",
                                  "nan", "1", "99999999999", ",,", "p",  "a"};
#ifdef _WIN32
    // An integer that does not fit is undefined in C: the parser stores what
    // the GNU C library does and Windows' sscanf saturates, so there only
    // lines without a number of ten digits or more are compared.
    const auto fits = [](const std::string& line) {
        int digits = 0;
        for (const char ch : line)
            if ((digits = ch >= '0' && ch <= '9' ? digits + 1 : 0) > 9)
                return false;
        return true;
    };
#else
    const auto fits = [](const std::string&) { return true; };
#endif
    const std::string base =
        data_line({.counter = 123, .pmt = 4.98, .hv = 0.61, .count = 17.5, .same_counts = true});
    int good = 0, checked = 0;
    for (int i = 0; i < 60000; ++i) {
        std::string line = base;
        const int edits = 1 + int(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = rng() % (line.size() + 1);
            switch (rng() % 4) {
            case 0:
                line.resize(at);
                break;
            case 1:
                line.insert(at, pieces[rng() % std::size(pieces)]);
                break;
            case 2:
                if (at < line.size())
                    line.erase(at, 1 + rng() % 3);
                break;
            default:
                if (at < line.size())
                    line[at] = static_cast<char>(rng() % 256);
            }
        }
        if (!fits(line))
            continue;
        const auto fast = parse_data_line(line);
        ASSERT_TRUE(same_result(fast, parse_data_line_sscanf(line))) << "line: " << line;
        good += fast.has_value();
        ++checked;
    }
    // Both outcomes must have been exercised for the comparison to mean much.
    EXPECT_GT(good, checked / 10);
    EXPECT_LT(good, checked - checked / 10);
}

} // namespace
