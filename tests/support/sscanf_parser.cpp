#include "sscanf_parser.h"

#include <cstdio>
#include <cstring>
#include <string>

std::optional<data_record> parse_data_line_sscanf(std::string_view line) {
    if (line.size() >= max_line_length)
        return std::nullopt;
    const std::string text(line); // a C string: it ends at the first NUL
    data_record r;
    char rest[max_line_length];
    const int n =
        std::sscanf(text.c_str(), "QELM%d,%d,%lf,%lf,%d,%lf,%d,%lf,%lf,%lf,%[^\n]",
                    &r.serial_number, reinterpret_cast<int*>(&r.counter), &r.cal_coeff, &r.ave_bl,
                    reinterpret_cast<int*>(&r.pump_rpm), &r.pmt_voltage,
                    reinterpret_cast<int*>(&r.flow_rpm), &r.hv_control, &r.aux_1, &r.aux_2, rest);
    if (n != 11)
        return std::nullopt;
    double last = 0;
    char next[max_line_length];
    for (std::size_t k = 0; k < r.raw_counts.size(); ++k) {
        double v = last;
        const int m = std::sscanf(rest, "%lf , %[^\n]", &v, next);
        if (m == 0 || (m == EOF && k == 0))
            return std::nullopt;
        r.raw_counts[k] = last = v;
        if (m == 2)
            std::strcpy(rest, next);
    }
    return r;
}

bool same_result(const std::optional<data_record>& a, const std::optional<data_record>& b) {
    if (a.has_value() != b.has_value())
        return false;
    if (!a)
        return true;
    auto same = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    const data_record &x = *a, &y = *b;
    if (x.serial_number != y.serial_number || x.counter != y.counter || x.pump_rpm != y.pump_rpm ||
        x.flow_rpm != y.flow_rpm || !same(x.cal_coeff, y.cal_coeff) || !same(x.ave_bl, y.ave_bl) ||
        !same(x.pmt_voltage, y.pmt_voltage) || !same(x.hv_control, y.hv_control) ||
        !same(x.aux_1, y.aux_1) || !same(x.aux_2, y.aux_2))
        return false;
    for (std::size_t k = 0; k < x.raw_counts.size(); ++k)
        if (!same(x.raw_counts[k], y.raw_counts[k]))
            return false;
    return true;
}
