#include "line_schedule.h"

#include <utility>

line_schedule::line_schedule(const options& o, instrument& inst, std::vector<std::string> replay)
    : opt_(o), inst_(inst), replay_(std::move(replay)) {
    if (opt_.lines == 0)
        state_ = state::done;
}

std::string line_schedule::next_line(long long k) {
    bool replayed = !replay_.empty();
    std::string text;
    if (every(k, opt_.bad_every) || every(k, opt_.long_every) || !replayed) {
        reading r = inst_.next_reading();
        if (k <= opt_.zero_serial)
            r.serial = 0;
        if (every(k, opt_.bad_every))
            text = instrument::bad_line(r, bad_kind_++);
        else if (every(k, opt_.long_every))
            text = instrument::long_line(r, long_line_length);
        else
            text = instrument::format(r);
        if (replayed)
            ++replay_pos_; // the fault takes the replayed line's place
    } else {
        text = replay_[replay_pos_++];
    }
    return text + "\r\n";
}

void line_schedule::emit(std::vector<std::string>& out, std::string chunk, bool end_of_tick) {
    if (opt_.burst <= 1) {
        out.push_back(std::move(chunk));
        return;
    }
    held_ += chunk;
    if (end_of_tick && (ticks_ % opt_.burst == 0 || state_ != state::sending)) {
        out.push_back(std::move(held_));
        held_.clear();
    }
}

void line_schedule::lost_tick() {
    if (state_ != state::vanish)
        return;
    if (replay_.empty()) {
        inst_.next_reading();
        return;
    }
    // The recording plays on, as the instrument's counter would.
    if (replay_pos_ >= replay_.size() && opt_.loop)
        replay_pos_ = 0;
    if (replay_pos_ < replay_.size())
        ++replay_pos_;
}

void line_schedule::come_back() {
    if (state_ != state::vanish)
        return;
    state_ = state::sending;
    came_back_ = true;
}

std::vector<std::string> line_schedule::tick() {
    std::vector<std::string> out;
    if (state_ != state::sending)
        return out;
    ++ticks_;
    long long k = made_ + 1;

    bool replay_over = !replay_.empty() && replay_pos_ >= replay_.size();
    if (replay_over && opt_.loop) {
        replay_pos_ = 0;
        replay_over = false;
    }
    if ((opt_.silent_after >= 0 && made_ >= opt_.silent_after) || replay_over) {
        state_ = state::quiet;
        if (!held_.empty())
            emit(out, {}, true);
        return out;
    }
    if (opt_.vanish_after >= 0 && made_ >= opt_.vanish_after && !came_back_) {
        std::string line = next_line(k);
        state_ = state::vanish;
        emit(out, line.substr(0, line.size() / 2), true);
        return out;
    }

    std::string line = next_line(k);
    made_ = k;
    if (opt_.lines >= 0 && made_ >= opt_.lines)
        state_ = state::done;
    if (every(k, opt_.garbage_every))
        emit(out, inst_.garbage(), false);
    emit(out, std::move(line), true);
    return out;
}
