#include "instrument.h"

#include <cstdio>

namespace {

// Photon rate of the light source, in photons per second.
constexpr double light_level = 1.2e5;
constexpr std::array<double, 4> control_voltage = {0, 0.350, 0.480, 0.610};

std::string header_text(const reading& r, bool letter_in_counter) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "QELM%d,%u%s,%.4e,%.4e,%u,%.2f,%u,%.3f,%.2f,%.2f,", r.serial,
                  r.counter, letter_in_counter ? "x" : "", r.cal_coeff, r.ave_bl, r.pump_rpm,
                  r.pmt_voltage, r.flow_rpm, r.hv_control, r.aux_1, r.aux_2);
    return buf;
}

} // namespace

instrument::instrument(int serial, std::uint64_t seed) : rng_(seed), serial_(serial) {}

bool instrument::receive(unsigned char byte) {
    switch (byte) {
    case 's':
        pump_on_ = false;
        break;
    case 'g':
        pump_on_ = true;
        break;
    case 'i':
        pmt_on_ = false;
        break;
    case 'o':
        pmt_on_ = true;
        break;
    case 'L':
        select_stage_ = 1;
        break;
    case 'M':
        select_stage_ = select_stage_ == 1 ? 2 : 0;
        break;
    case '1':
    case '2':
    case '3':
        if (select_stage_ == 2) {
            select_digit_ = byte - '0';
            select_stage_ = 3;
        } else {
            select_stage_ = 0;
        }
        break;
    case '\r':
        if (select_stage_ == 3)
            hv_step_ = select_digit_;
        select_stage_ = 0;
        break;
    default:
        // Other commands ('P', 'O', 'n', 'm', '?') leave a selection in
        // progress alone, so a pump or PMT switch between its bytes does not
        // spoil it.
        break;
    }
    return byte == 'P';
}

reading instrument::next_reading() {
    reading r;
    r.serial = serial_;
    r.counter = ++counter_;
    r.cal_coeff = light_level / (60.0 * step_mean[hv_step_]);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_int_distribution<int> jitter(-3, 3);
    r.pump_rpm = pump_on_ ? unsigned(1500 + jitter(rng_)) : 0;
    r.flow_rpm = pump_on_ ? unsigned(800 + 2 * jitter(rng_)) : 0;
    r.pmt_voltage = pmt_on_ ? 5.0 + 0.005 * noise(rng_) : 0.0;
    r.hv_control = control_voltage[hv_step_] + 0.001 * noise(rng_);
    r.aux_1 = 24.0 + 0.05 * noise(rng_);
    r.aux_2 = 12.0 + 0.01 * noise(rng_);
    std::poisson_distribution<int> count(pmt_on_ ? step_mean[hv_step_] : dark_mean);
    long sum = 0;
    for (int& c : r.counts) {
        c = count(rng_);
        sum += c;
    }
    r.ave_bl = double(sum) * r.cal_coeff;
    return r;
}

std::string instrument::format(const reading& r) {
    std::string s = header_text(r, false);
    for (std::size_t i = 0; i < r.counts.size(); ++i) {
        if (i)
            s += ',';
        s += std::to_string(r.counts[i]);
    }
    return s;
}

std::string instrument::bad_line(const reading& r, int kind) {
    switch (kind % 4) {
    case 0: {
        std::string s = format(r);
        s[1] = 'X';
        return s;
    }
    case 1: {
        std::string s = header_text(r, true);
        for (std::size_t i = 0; i < r.counts.size(); ++i)
            s += (i ? "," : "") + std::to_string(r.counts[i]);
        return s;
    }
    case 2: {
        std::string s = header_text(r, false);
        for (std::size_t i = 0; i < r.counts.size(); ++i)
            s += (i ? "," : "") + (i == 29 ? std::string() : std::to_string(r.counts[i]));
        return s;
    }
    default:
        return header_text(r, false);
    }
}

std::string instrument::long_line(const reading& r, std::size_t length) {
    std::string s = format(r);
    for (std::size_t i = 0; s.size() + 1 < length; i = (i + 1) % r.counts.size())
        s += "," + std::to_string(r.counts[i]);
    s.resize(length - 1);
    return s;
}

std::string instrument::garbage() {
    std::uniform_int_distribution<int> len(1, 32), byte(0, 255);
    std::string s(std::size_t(len(rng_)), '\0');
    for (char& c : s) {
        int b;
        do
            b = byte(rng_);
        while (b == '\n');
        c = char(b);
    }
    return s;
}
