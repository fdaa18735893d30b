#pragma once

#include <cstdint>

namespace marev {

// A lost instrument is waited for: the same port is tried again every
// reconnect_period_ms until it opens or the user gives up. The program's
// window and the recorder follow the same rules.
inline constexpr std::int64_t reconnect_period_ms = 2000;

class reconnect_wait {
public:
    // The instrument was lost at now_ms; the first try is due a period later.
    void lost(std::int64_t now_ms) {
        lost_at_ = now_ms;
        next_try_ = now_ms + reconnect_period_ms;
        waiting_ = true;
    }
    // The port opened again, or the user gave up.
    void end() { waiting_ = false; }
    bool waiting() const { return waiting_; }

    // Whether a try is due at now_ms. A due try moves the next one a period
    // on from now, so a late tick (a busy computer, a suspended one) does not
    // make a burst of tries.
    bool try_due(std::int64_t now_ms) {
        if (!waiting_ || now_ms < next_try_)
            return false;
        next_try_ = now_ms + reconnect_period_ms;
        return true;
    }
    // Milliseconds until the next try (0 when it is due, or when not waiting):
    // how long a program that sleeps in poll() may sleep.
    std::int64_t ms_to_next_try(std::int64_t now_ms) const {
        return waiting_ && next_try_ > now_ms ? next_try_ - now_ms : 0;
    }
    // Whole seconds since the loss.
    std::int64_t seconds_lost(std::int64_t now_ms) const {
        return waiting_ && now_ms > lost_at_ ? (now_ms - lost_at_) / 1000 : 0;
    }

private:
    std::int64_t lost_at_ = 0;
    std::int64_t next_try_ = 0;
    bool waiting_ = false;
};

// A scheduled sample ends at the first check at or after its stop time; 0 is
// no schedule. After an outage the same check decides whether the sample goes
// on in its own file or is closed and the next one starts.
inline bool sample_over(std::int64_t now, std::int64_t stop) {
    return stop != 0 && now >= stop;
}

} // namespace marev
