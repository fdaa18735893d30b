#include "link/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace marev {

namespace {

class real_clock final : public clock {
public:
    std::int64_t now() const override {
        using namespace std::chrono;
        return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    }
};

clock* active = nullptr;

} // namespace

local_time clock::local(std::int64_t t) const {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &tt);
#else
    localtime_r(&tt, &tm);
#endif
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
            tm.tm_min,         tm.tm_sec,     tm.tm_wday};
}

std::int64_t clock::steady_ms() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

clock& system_clock() {
    static real_clock c;
    return c;
}

clock& current_clock() {
    return active ? *active : system_clock();
}

void set_clock(clock* c) {
    active = c;
}

std::string clock_text(const local_time& t) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* day = t.weekday >= 0 && t.weekday < 7 ? days[t.weekday] : "???";
    const char* month = t.month >= 1 && t.month <= 12 ? months[t.month - 1] : "???";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %04d\n", day, month, t.day, t.hour,
                  t.minute, t.second, t.year);
    return buf;
}

} // namespace marev
