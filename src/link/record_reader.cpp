#include "link/record_reader.h"

#include "link/link_error.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

// Large blocks: a week's file is read in some forty reads.
constexpr std::size_t block_size = 4 << 20;
// A data line must start within this many bytes for the file to count as a
// record file.
constexpr std::uint64_t probe_size = 64 * 1024;
constexpr std::size_t stamp_size = 20; // "YYYY-MM-DD,hh:mm:ss,"
// An unfinished entry longer than this cannot become a good line.
constexpr std::size_t longest_entry = max_line_length + stamp_size + 64;
// What an over-long entry keeps of its end, so that a new entry beginning
// across two reads ("...123" then "2026-...,QELM") is still seen.
constexpr std::size_t kept_tail = stamp_size + 4;

constexpr bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

int digits(std::string_view s, std::size_t at, std::size_t n) {
    int v = 0;
    for (std::size_t k = at; k < at + n; ++k) {
        if (!is_digit(s[k]))
            return -1;
        v = v * 10 + (s[k] - '0');
    }
    return v;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

// The time stamp the recorder writes before a line, "%04d-%02d-%02d,%02d:%02d:%02d,".
bool parse_stamp(std::string_view s, std::int64_t& t) {
    if (s.size() < stamp_size || s[4] != '-' || s[7] != '-' || s[10] != ',' || s[13] != ':' ||
        s[16] != ':' || s[19] != ',')
        return false;
    const int y = digits(s, 0, 4), mo = digits(s, 5, 2), d = digits(s, 8, 2);
    const int h = digits(s, 11, 2), mi = digits(s, 14, 2), sec = digits(s, 17, 2);
    if (y < 0 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
        sec < 0 || sec > 60)
        return false;
    t = days_from_civil(y, unsigned(mo), unsigned(d)) * 86400 + h * 3600 + mi * 60 + sec;
    return true;
}

bool small_counts(const data_record& rec) {
    for (double c : rec.raw_counts)
        if (!(c >= 0 && c <= 65535 && c == std::floor(c) && !std::signbit(c)))
            return false;
    return true;
}

} // namespace

record_reader::record_reader(std::string path) : path_(std::move(path)) {}

void record_reader::reset() {
    offset_ = pending_at_ = 0;
    pending_.clear();
    skipping_ = accepted_ = false;
    first_record_at_ = UINT64_MAX;
    entries_ = bad_lines_ = 0;
    records_.clear();
    small_counts_.clear();
    full_counts_.clear();
}

bool record_reader::read(const progress_fn& progress) {
    const std::string name = std::filesystem::path(path_).filename().string();
    std::ifstream in(path_, std::ios::binary);
    if (!in)
        throw link_error("Could not open file: " + name, path_ + ": " + std::strerror(errno));
    std::error_code ec;
    std::uint64_t total = std::filesystem::file_size(path_, ec);
    if (ec)
        total = 0;
    else if (total < offset_) {
        reset(); // replaced or cut: what was read no longer stands
        ++restarts_;
    }
    in.seekg(std::streamoff(offset_));

    const auto not_records = [&] {
        return link_error("Not a record file: " + name,
                          path_ + ": no data line in the first 64 KB");
    };
    // A small buffer for what a growing file gained since the last read.
    const std::size_t size = std::size_t(
        std::clamp<std::uint64_t>(total - std::min(total, offset_) + 1, 64 * 1024, block_size));
    const auto buf = std::make_unique_for_overwrite<char[]>(size);
    for (;;) {
        in.read(buf.get(), std::streamsize(size));
        const std::size_t n = std::size_t(in.gcount());
        if (n == 0)
            break;
        take(std::string_view(buf.get(), n), offset_);
        offset_ += n;
        if (!accepted_) {
            if (first_record_at_ < probe_size)
                accepted_ = true;
            else if (offset_ >= probe_size + longest_entry)
                throw not_records();
        }
        if (progress && !progress(offset_, std::max(total, offset_)))
            return false;
    }
    if (!accepted_) {
        if (first_record_at_ >= probe_size)
            throw not_records();
        accepted_ = true;
    }
    return true;
}

void record_reader::take(std::string_view bytes, std::uint64_t at) {
    const char* const begin = bytes.data();
    const char* const end = begin + bytes.size();
    const char* p = begin;
    // The next CR and the next LF (end when there is none), each looked for once.
    const auto find = [&](char what) {
        const void* c = std::memchr(p, what, std::size_t(end - p));
        return c ? static_cast<const char*>(c) : end;
    };
    const char* cr = find('\r');
    const char* lf = find('\n');
    for (;;) {
        if (cr < p)
            cr = find('\r');
        if (lf < p)
            lf = find('\n');
        const char* t = std::min(cr, lf);
        if (t == end)
            break;
        if (!pending_.empty()) {
            pending_.append(p, t);
            take_entry(pending_, pending_at_, true);
            pending_.clear();
        } else {
            take_entry(std::string_view(p, std::size_t(t - p)), at + std::uint64_t(p - begin),
                       true);
        }
        p = t + 1;
    }
    if (p == end)
        return;
    if (pending_.empty())
        pending_at_ = at + std::uint64_t(p - begin);
    pending_.append(p, end);
    take_entry(pending_, pending_at_, false);
}

void record_reader::take_entry(std::string_view entry, std::uint64_t at, bool complete) {
    std::size_t start = 0;
    for (std::size_t i = entry.find("QELM", 1); i != std::string_view::npos;
         i = entry.find("QELM", i + 4)) {
        std::int64_t t;
        const std::size_t s =
            i >= stamp_size && parse_stamp(entry.substr(i - stamp_size), t) ? i - stamp_size : i;
        if (s > start && is_digit(entry[s - 1])) {
            take_piece(entry.substr(start, s - start), at + start);
            start = s;
        }
    }
    if (complete) {
        take_piece(entry.substr(start), at + start);
        return;
    }
    // The unfinished piece stays in pending_ (which entry is, here).
    pending_.erase(0, start);
    pending_at_ += start;
    if (pending_.size() > longest_entry) {
        if (!skipping_) {
            ++entries_;
            ++bad_lines_;
            skipping_ = true;
        }
        const std::size_t drop = pending_.size() - kept_tail;
        pending_.erase(0, drop);
        pending_at_ += drop;
    }
}

void record_reader::take_piece(std::string_view piece, std::uint64_t at) {
    if (piece.empty())
        return;
    if (skipping_) {
        skipping_ = false; // the end of an over-long entry, counted already
        return;
    }
    ++entries_;
    std::int64_t time = no_time;
    if (parse_stamp(piece, time))
        piece.remove_prefix(stamp_size);
    const std::optional<data_record> rec = parse_data_line(piece);
    if (!rec) {
        ++bad_lines_;
        return;
    }
    if (first_record_at_ == UINT64_MAX)
        first_record_at_ = at;
    std::uint32_t slot;
    if (small_counts(*rec)) {
        std::array<std::uint16_t, 60> counts;
        for (std::size_t j = 0; j < counts.size(); ++j)
            counts[j] = static_cast<std::uint16_t>(rec->raw_counts[j]);
        slot = static_cast<std::uint32_t>(small_counts_.size());
        small_counts_.push_back(counts);
    } else {
        slot = static_cast<std::uint32_t>(full_counts_.size()) | full_slot;
        full_counts_.push_back(rec->raw_counts);
    }
    records_.push_back({rec->serial_number, rec->counter, rec->pump_rpm, rec->flow_rpm, slot,
                        static_cast<std::uint32_t>(entries_), rec->cal_coeff, rec->ave_bl,
                        rec->pmt_voltage, rec->hv_control, rec->aux_1, rec->aux_2, time});
}

data_record record_reader::record(std::size_t i) const {
    const stored_record& s = records_[i];
    data_record rec{s.serial_number, s.counter,    s.cal_coeff, s.ave_bl, s.pump_rpm, s.pmt_voltage,
                    s.flow_rpm,      s.hv_control, s.aux_1,     s.aux_2,  {}};
    if (s.counts_slot & full_slot) {
        rec.raw_counts = full_counts_[s.counts_slot & ~full_slot];
    } else {
        const auto& c = small_counts_[s.counts_slot];
        for (std::size_t j = 0; j < c.size(); ++j)
            rec.raw_counts[j] = c[j];
    }
    return rec;
}

std::string iso_time(std::int64_t t) {
    std::int64_t days = t / 86400, secs = t % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    // The date of a day count (the inverse of days_from_civil).
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = unsigned(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = std::int64_t(yoe) + era * 400 + (m <= 2);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02d", static_cast<long long>(y), m,
                  d, int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
    return buf;
}
