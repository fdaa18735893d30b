#pragma once

#include <string>
#include <vector>

#include "instrument.h"
#include "options.h"

// What the simulator sends at each tick: generated or replayed lines, with the
// fault modes of the options applied. Lines are numbered from 1 in the order
// they are made; a fault "every k" acts on lines k, 2k ...
class line_schedule {
public:
    line_schedule(const options& o, instrument& inst, std::vector<std::string> replay);

    // The chunks to write for one tick, in order, each in one write.
    std::vector<std::string> tick();

    // Whether ticks still send anything.
    bool ticking() const { return state_ == state::sending; }
    // --lines reached.
    bool done() const { return state_ == state::done; }
    // --vanish reached: the pty is to be closed.
    bool vanishing() const { return state_ == state::vanish; }
    // A tick while vanished: the instrument goes on, its line is lost.
    void lost_tick();
    // Back from --vanish: ticks send again, and --vanish is not repeated.
    void come_back();
    long long lines_made() const { return made_; }

private:
    enum class state { sending, quiet, done, vanish };

    std::string next_line(long long k);
    static bool every(long long k, long long n) { return n > 0 && k % n == 0; }
    void emit(std::vector<std::string>& out, std::string chunk, bool end_of_tick);

    const options& opt_;
    instrument& inst_;
    std::vector<std::string> replay_;
    std::size_t replay_pos_ = 0;
    long long made_ = 0;
    long long ticks_ = 0;
    int bad_kind_ = 0;
    bool came_back_ = false;
    std::string held_; // burst: lines waiting for the burst's last tick
    state state_ = state::sending;
};
