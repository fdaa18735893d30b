#include "link/qelm_reader.h"

#include "link/clock.h"
#include "link/link_error.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

// Lines kept for the terminal and late readers while no record file needs them.
constexpr std::size_t kept_lines = 1000;
constexpr std::size_t read_size = 4096;

} // namespace

qelm_reader::qelm_reader() = default;
qelm_reader::~qelm_reader() = default;

void qelm_reader::connect(int port) {
    connect_named(port, "COM" + std::to_string(port));
}

void qelm_reader::connect_device(const std::string& path) {
    connect_named(0, path);
}

void qelm_reader::connect_named(int port, const std::string& name) {
    pending_.clear();
    pending_start_ = rx_total_ = scan_pos_ = 0;
    lines_.clear();
    lines_base_ = 0;
    written_ = 0;
    bad_lines_ = -1;
    lost_ = false;

    port_ = std::make_unique<Serial>();
    port_->set_speed(19200);
    port_->open(port, name);
}

void qelm_reader::disconnect() {
    if (port_)
        port_->close();
}

void qelm_reader::poll() {
    if (!port_open())
        return;
    std::uint8_t buf[read_size];
    std::size_t n = sizeof buf;
    port_->read(buf, n);
    if (n > 0) {
        receive(buf, n);
    } else if (port_->lost() && !lost_) {
        lost_ = true;
        // No newline will come any more to take the line held back: a record
        // file gets every complete line received.
        take_held_lines();
    }
}

void qelm_reader::take_held_lines() {
    while (synced_ && !pending_.empty() && pending_.front().complete)
        take_line();
}

void qelm_reader::receive(const std::uint8_t* data, std::size_t n) {
    const char* p = reinterpret_cast<const char*>(data);
    const char* const end = p + n;
    while (p != end) {
        if (pending_.empty() || pending_.back().complete)
            pending_.emplace_back();
        segment& tail = pending_.back();
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        const char* run_end = nl ? nl : end;
        const std::size_t run = std::size_t(run_end - p);
        const std::size_t room = max_line_length - std::min(max_line_length, tail.text.size());
        tail.text.append(p, std::min(run, room));
        tail.size += run;
        rx_total_ += run;
        p = run_end;
        if (nl) {
            tail.complete = true;
            ++rx_total_;
            ++p;
            line_step();
        }
    }
}

void qelm_reader::line_step() {
    if (!synced_) {
        // Look for the start of the stream: the first newline from scan_pos
        // with at least four bytes after it (the length minus 4 is taken
        // without sign, so a stream of fewer than four bytes takes the
        // newline just received).
        const std::uint64_t limit = rx_total_ - 4; // wraps below 4 bytes, as intended
        std::uint64_t start = pending_start_;
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            const segment& s = pending_[i];
            const std::uint64_t nl = start + s.size;
            if (!s.complete || nl >= limit)
                break;
            if (nl >= scan_pos_) {
                synced_ = true;
                ++bad_lines_;
                scan_pos_ = pending_start_ = nl + 1;
                pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(i) + 1);
                return;
            }
            start = nl + 1;
        }
        if (scan_pos_ < limit)
            scan_pos_ = limit;
        // Segments wholly before scan_pos can no longer matter.
        while (!pending_.empty() && pending_.front().complete &&
               pending_start_ + pending_.front().size < scan_pos_) {
            pending_start_ += pending_.front().size + 1;
            pending_.pop_front();
        }
        return;
    }
    take_line();
}

void qelm_reader::take_line() {
    // Synchronised: scan_pos is the start of the oldest complete line.
    segment s = std::move(pending_.front());
    pending_.pop_front();
    scan_pos_ = pending_start_ = pending_start_ + s.size + 1;

    std::optional<data_record> rec;
    if (s.size < max_line_length)
        rec = parse_data_line(s.text);
    push_line(std::move(s.text));
    if (!rec) {
        synced_ = false;
        return;
    }
    store(*rec);
    serial_number_ = rec->serial_number;
    if (on_line_)
        on_line_(lines_.back());
}

void qelm_reader::store(const data_record& rec) {
    bool small = true;
    for (double c : rec.raw_counts)
        small = small && c >= 0 && c <= 65535 && c == std::floor(c) && !std::signbit(c);
    std::uint32_t slot;
    if (small) {
        std::array<std::uint16_t, 60> counts;
        for (std::size_t j = 0; j < counts.size(); ++j)
            counts[j] = static_cast<std::uint16_t>(rec.raw_counts[j]);
        slot = static_cast<std::uint32_t>(small_counts_.size());
        small_counts_.push_back(counts);
    } else {
        slot = static_cast<std::uint32_t>(full_counts_.size()) | full_slot;
        full_counts_.push_back(rec.raw_counts);
    }
    records_.push_back({rec.counter, rec.pump_rpm, rec.flow_rpm, slot, rec.cal_coeff, rec.ave_bl,
                        rec.pmt_voltage, rec.hv_control, rec.aux_1, rec.aux_2, marev::now()});
    if (records_.size() == 1)
        first_time_ = records_.back().time;
    release_old_records();
}

void qelm_reader::release_old_records() {
    if (records_.size() <= kept_records)
        return;
    const std::size_t keep_from = records_.size() - kept_records;
    if (keep_from < records_.first_held() + records_.per_chunk)
        return; // nothing to free yet
    // The counts of the records kept: slots grow with the record index, so the first
    // kept record of each kind holds the lowest slot of its kind.
    std::size_t small_from = small_counts_.size(), full_from = full_counts_.size();
    bool small_found = false, full_found = false;
    for (std::size_t r = keep_from; r < records_.size() && !(small_found && full_found); ++r) {
        const std::uint32_t slot = records_[r].counts_slot;
        if (slot & full_slot) {
            if (!full_found)
                full_from = slot & ~full_slot;
            full_found = true;
        } else {
            if (!small_found)
                small_from = slot;
            small_found = true;
        }
    }
    records_.release_before(keep_from);
    small_counts_.release_before(small_from);
    full_counts_.release_before(full_from);
}

const qelm_reader::stored_record& qelm_reader::held(std::size_t r) const {
    if (r < records_.first_held() || r >= records_.size())
        throw std::out_of_range("record no longer held");
    return records_[r];
}

data_record qelm_reader::record(std::size_t r) const {
    const stored_record& s = held(r);
    data_record rec{serial_number_, s.counter,    s.cal_coeff, s.ave_bl, s.pump_rpm, s.pmt_voltage,
                    s.flow_rpm,     s.hv_control, s.aux_1,     s.aux_2,  {}};
    for (std::size_t j = 0; j < rec.raw_counts.size(); ++j)
        rec.raw_counts[j] = raw_count(r, j);
    return rec;
}

void qelm_reader::push_line(std::string text) {
    lines_.push_back(std::move(text));
    trim_lines();
}

void qelm_reader::trim_lines() {
    std::size_t keep_from = line_count() > kept_lines ? line_count() - kept_lines : 0;
    if (file_.is_open())
        keep_from = std::min(keep_from, written_);
    while (lines_base_ < keep_from && !lines_.empty()) {
        lines_.pop_front();
        ++lines_base_;
    }
}

const std::string& qelm_reader::line(std::size_t i) const {
    if (i < lines_base_ || i >= line_count())
        throw std::out_of_range("line no longer held");
    return lines_[i - lines_base_];
}

void qelm_reader::clear() {
    pending_.clear();
    pending_start_ = rx_total_ = scan_pos_ = 0;
    forget_taken();
}

void qelm_reader::forget_taken() {
    lines_.clear();
    lines_base_ = 0;
    records_.clear();
    small_counts_.clear();
    full_counts_.clear();
    bad_lines_ = 0;
    written_ = 0;
}

void qelm_reader::clear_records() {
    records_.clear();
    small_counts_.clear();
    full_counts_.clear();
}

void qelm_reader::clear_lines() {
    lines_.clear();
    lines_base_ = 0;
}

namespace {

void open_or_throw(record_file& file, const std::string& path, record_file::mode m) {
    if (!file.open(path, m)) {
        const int err = errno;
        throw link_error(
            "Unable to open file for saving.",
            path + ": " + (file.is_open() ? "a record file is already open" : std::strerror(err)));
    }
}

} // namespace

void qelm_reader::open_record(const std::string& path, std::size_t first) {
    open_or_throw(file_, path, record_file::mode::replace);
    written_ = first;
    record_start_ = marev::now();
}

void qelm_reader::append_record(const std::string& path, std::size_t first, std::int64_t start) {
    open_or_throw(file_, path, record_file::mode::append);
    written_ = first;
    record_start_ = start;
}

void qelm_reader::write_records() {
    const std::size_t count = line_count();
    if (count == written_)
        return;
    if (count > written_ && file_.is_open()) {
        std::string stamp;
        if (include_time_) {
            const marev::local_time t = marev::local_now();
            char buf[32];
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d,%02d:%02d:%02d,", t.year, t.month, t.day,
                          t.hour, t.minute, t.second);
            stamp = buf;
        }
        // Lines dropped while no file was open cannot be written any more.
        for (std::size_t i = std::max(written_, lines_base_); i < count; ++i) {
            const std::string& l = lines_[i - lines_base_];
            file_.append(stamp);
            file_.append(l);
            // An instrument that ends its lines with a bare newline would
            // leave the entries running together.
            if (l.empty() || l.back() != '\r')
                file_.append("\r");
        }
        file_.commit();
    }
    written_ = count;
    trim_lines();
}

void qelm_reader::close_record() {
    file_.close();
}

std::size_t qelm_reader::memory_bytes() const {
    std::size_t n = sizeof *this + records_.memory_bytes() + small_counts_.memory_bytes() +
                    full_counts_.memory_bytes();
    for (const auto& l : lines_)
        n += sizeof l + (l.capacity() > 15 ? l.capacity() + 1 : 0);
    for (const auto& s : pending_)
        n += sizeof s + (s.text.capacity() > 15 ? s.text.capacity() + 1 : 0);
    return n;
}
