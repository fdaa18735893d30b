#pragma once

#include <cstdint>
#include <string>

namespace marev {

// Local calendar breakdown of a clock time.
struct local_time {
    int year = 1970; // four digits
    int month = 1;   // 1 to 12
    int day = 1;     // 1 to 31
    int hour = 0;    // 0 to 23
    int minute = 0;
    int second = 0;
    int weekday = 4; // 0 = Sunday
};

// The computer's clock: calendar time in whole seconds (64-bit, so nothing
// overflows in 2038) and its local breakdown. Everything in the program reads
// the time through current_clock(), so tests can put a fake in its place.
class clock {
public:
    virtual ~clock() = default;
    virtual std::int64_t now() const = 0;
    virtual local_time local(std::int64_t t) const; // localtime_r
    // Milliseconds of a clock that only goes forward (the system's steady
    // clock), for waits that a change of the calendar clock must not stretch.
    virtual std::int64_t steady_ms() const;
};

clock& system_clock();
clock& current_clock();
// Makes c the clock the program reads; nullptr puts the system clock back.
void set_clock(clock* c);

inline std::int64_t now() {
    return current_clock().now();
}
inline std::int64_t steady_ms() {
    return current_clock().steady_ms();
}
inline local_time local_now() {
    auto& c = current_clock();
    return c.local(c.now());
}

// "Tue Mar 04 09:05:03 2008\n": English names whatever the locale.
std::string clock_text(const local_time& t);

// A clock that stands still until told otherwise.
class fake_clock : public clock {
public:
    explicit fake_clock(std::int64_t t = 0) : t_(t) {}
    std::int64_t now() const override { return t_; }
    // Its seconds, so that waits follow advance() too.
    std::int64_t steady_ms() const override { return t_ * 1000; }
    void set(std::int64_t t) { t_ = t; }
    void advance(std::int64_t seconds) { t_ += seconds; }

private:
    std::int64_t t_;
};

} // namespace marev
