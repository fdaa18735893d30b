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

#ifdef _WIN32
// Windows breaks down only times from 1970 to 3000; the clock's range is the
// years 1 to 9999. Outside, the calendar is counted here (proleptic
// Gregorian, as the C library does elsewhere) with the offset from UTC that
// the nearest time Windows can break down has.
std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// Days since 1970-01-01 of a civil date, and back.
std::int64_t days_from_civil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = floor_div(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

local_time civil(std::int64_t t) {
    const std::int64_t days = floor_div(t, 86400);
    const std::int64_t secs = t - days * 86400;
    const std::int64_t z = days + 719468;
    const std::int64_t era = floor_div(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int m = int(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t y = yoe + era * 400 + (m <= 2);
    return {int(y),
            m,
            d,
            int(secs / 3600),
            int(secs / 60 % 60),
            int(secs % 60),
            int(days + 4 - floor_div(days + 4, 7) * 7)}; // 1970-01-01 was a Thursday
}
#endif

} // namespace

local_time clock::local(std::int64_t t) const {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
#ifdef _WIN32
    constexpr std::int64_t windows_first = 86400, windows_last = 32503593599; // 1970-01-02, 2999
    if (t < windows_first || t > windows_last) {
        const std::int64_t nearest = t < windows_first ? windows_first : windows_last;
        const local_time n = local(nearest);
        const std::int64_t offset = days_from_civil(n.year, n.month, n.day) * 86400 +
                                    n.hour * 3600 + n.minute * 60 + n.second - nearest;
        return civil(t + offset);
    }
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
