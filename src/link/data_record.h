#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// One good data line of the instrument: ten header values and the 60 raw PMT
// counts of one second, taken at 60 Hz.
struct data_record {
    std::int32_t serial_number = 0;
    std::uint32_t counter = 0;
    double cal_coeff = 0;
    double ave_bl = 0;
    std::uint32_t pump_rpm = 0;
    double pmt_voltage = 0;
    std::uint32_t flow_rpm = 0;
    double hv_control = 0;
    double aux_1 = 0;
    double aux_2 = 0;
    std::array<double, 60> raw_counts{};
};

// Lines this long or longer are bad; the instrument's lines are far shorter.
inline constexpr std::size_t max_line_length = 4096;

// Parses one line (without its newline byte; a trailing carriage return is
// ignored) into a record, or returns nothing for a bad line. The result is
// exactly what the C library's sscanf gives with the header pattern
// "QELM%d,%d,%lf,%lf,%d,%lf,%d,%lf,%lf,%lf,%[^\n]" and the count pattern
// "%lf , %[^\n]", including glibc's way of reading numbers; the line ends at
// its first NUL byte, as a C string would.
std::optional<data_record> parse_data_line(std::string_view line);
