#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

// One second of the instrument: the header values and the 60 counts.
struct reading {
    int serial = 0;
    std::uint32_t counter = 0;
    double cal_coeff = 0;
    double ave_bl = 0;
    unsigned pump_rpm = 0;
    double pmt_voltage = 0;
    unsigned flow_rpm = 0;
    double hv_control = 0;
    double aux_1 = 0;
    double aux_2 = 0;
    std::array<int, 60> counts{};
};

// The instrument's state and what it measures. Counts are Poisson around a
// light level set by the high-voltage step; the calibration coefficient of
// each step turns them back into the same photon rate, so the average
// bioluminescence stays put when only the step changes.
class instrument {
public:
    instrument(int serial, std::uint64_t seed);

    // Acts on one received byte. Returns true for 'P' (send data lines).
    bool receive(unsigned char byte);

    // The next second: the counter rises by one.
    reading next_reading();

    // A data line, without its CR LF.
    static std::string format(const reading& r);
    // A line the parser must reject; kind 0 to 3: broken prefix, a letter in
    // a header number, an empty count field, nothing after the header.
    static std::string bad_line(const reading& r, int kind);
    // A data line whose counts repeat until it is length bytes long with the
    // CR that the caller appends.
    static std::string long_line(const reading& r, std::size_t length);
    // 1 to 32 random bytes, never a line feed.
    std::string garbage();

    bool pump_on() const { return pump_on_; }
    bool pmt_on() const { return pmt_on_; }
    int hv_step() const { return hv_step_; }

    // Mean count per sample at each step (index 1 to 3) and with the PMT off.
    static constexpr std::array<double, 4> step_mean = {0, 20, 60, 180};
    static constexpr double dark_mean = 0.3;

private:
    std::mt19937_64 rng_;
    int serial_;
    std::uint32_t counter_ = 0;
    bool pump_on_ = true;
    bool pmt_on_ = true;
    int hv_step_ = 1;
    // Step selection: 'L', 'M', a digit, then CR; progress through it.
    int select_stage_ = 0;
    int select_digit_ = 0;
};
