#pragma once

// The data line checked on its own terms: the header by a strict regular
// expression of the format, the counts field by field. Shares nothing with
// the program's parser.

#include <optional>
#include <regex>
#include <string>
#include <vector>

struct sim_line {
    int serial = 0;
    unsigned long counter = 0;
    double cal_coeff = 0, ave_bl = 0;
    unsigned long pump_rpm = 0;
    double pmt_voltage = 0;
    unsigned long flow_rpm = 0;
    double hv_control = 0, aux_1 = 0, aux_2 = 0;
    std::vector<long> counts;

    double mean() const {
        double s = 0;
        for (long c : counts)
            s += double(c);
        return counts.empty() ? 0 : s / double(counts.size());
    }
};

// A good line as stored (CR kept, no LF) with exactly 60 whole counts, or nothing.
inline std::optional<sim_line> read_sim_line(const std::string& text) {
#define INT_ "([+-]?[0-9]+)"
#define NUM_ "([+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?)"
    static const std::regex header("QELM" INT_ "," INT_ "," NUM_ "," NUM_ "," INT_ "," NUM_ "," INT_
                                   "," NUM_ "," NUM_ "," NUM_ ",([0-9,]+)\r");
#undef INT_
#undef NUM_
    std::smatch m;
    if (!std::regex_match(text, m, header))
        return std::nullopt;
    sim_line l;
    l.serial = std::stoi(m[1]);
    l.counter = std::stoul(m[2]);
    l.cal_coeff = std::stod(m[3]);
    l.ave_bl = std::stod(m[4]);
    l.pump_rpm = std::stoul(m[5]);
    l.pmt_voltage = std::stod(m[6]);
    l.flow_rpm = std::stoul(m[7]);
    l.hv_control = std::stod(m[8]);
    l.aux_1 = std::stod(m[9]);
    l.aux_2 = std::stod(m[10]);
    std::string counts = m[11];
    std::size_t pos = 0;
    for (;;) {
        auto comma = counts.find(',', pos);
        std::string field = counts.substr(pos, comma - pos);
        if (field.empty() || field.size() > 9)
            return std::nullopt;
        l.counts.push_back(std::stol(field));
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    if (l.counts.size() != 60)
        return std::nullopt;
    return l;
}
