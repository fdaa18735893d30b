#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "link/chunked_list.h"
#include "link/data_record.h"

// Reads a record file back: entries raw or with the time stamp
// "YYYY-MM-DD,hh:mm:ss," before them, mixed as the format was switched during
// a recording, each parsed by the program's own line parser.
//
// Entries end with the carriage return the instrument sent, so they are split
// at CR, LF or CR LF, and also where a new entry plainly begins right after a
// count ("QELM", or a time stamp followed by "QELM"), which is how the lines
// of an instrument that ends them with a bare newline ran together. An entry
// at the end of the file without its line end is still being written: it is
// left for the next read, which goes on where this one stopped.
//
// A week of records is held in about 120 MB: counts that are whole numbers
// from 0 to 65535, as the PMT's are, take 16 bits each.
class record_reader {
public:
    // Called after each block with the bytes read so far and the file's size
    // when the read began; false stops the read after that block.
    using progress_fn = std::function<bool(std::uint64_t done, std::uint64_t total)>;

    explicit record_reader(std::string path);

    // Reads what the file gained since the last read; true when it reached
    // the end, false when progress asked to stop (a later read goes on).
    // Throws link_error "Could not open file: <name>", and on the first read
    // "Not a record file: <name>" when no data line starts in the first 64 KB.
    // A file that became shorter than what was read is read again from its
    // start.
    bool read(const progress_fn& progress = {});

    const std::string& path() const { return path_; }
    std::size_t record_count() const { return records_.size(); }
    // Entries that did not parse.
    std::size_t bad_lines() const { return bad_lines_; }
    // The bytes read so far, the unfinished last entry included.
    std::uint64_t bytes_read() const { return offset_; }
    // How often the file was found shorter than what was read, and read again.
    std::uint64_t restarts() const { return restarts_; }

    // Record i as its line reads.
    data_record record(std::size_t i) const;
    double ave_bl(std::size_t i) const { return records_[i].ave_bl; }
    // The entry's number in its file, counted from 1 (empty entries, such as
    // the one between the CR and the LF of a CR LF, do not count).
    std::size_t line(std::size_t i) const { return records_[i].line; }
    // The entry's time stamp, as seconds since 1970-01-01 00:00:00 read as if
    // it were UTC (the file holds the recording computer's local time).
    bool has_time(std::size_t i) const { return records_[i].time != no_time; }
    std::int64_t time(std::size_t i) const { return records_[i].time; }

private:
    struct stored_record {
        std::int32_t serial_number;
        std::uint32_t counter, pump_rpm, flow_rpm, counts_slot, line;
        double cal_coeff, ave_bl, pmt_voltage, hv_control, aux_1, aux_2;
        std::int64_t time;
    };
    static constexpr std::uint32_t full_slot = 0x8000'0000u;
    static constexpr std::int64_t no_time = INT64_MIN;

    void reset();
    void take(std::string_view bytes, std::uint64_t at);
    void take_entry(std::string_view entry, std::uint64_t at, bool complete);
    void take_piece(std::string_view piece, std::uint64_t at);

    std::string path_;
    std::uint64_t offset_ = 0;     // bytes read
    std::string pending_;          // the unfinished entry
    std::uint64_t pending_at_ = 0; // its offset in the file
    bool skipping_ = false;        // pending_ continues an over-long entry already counted
    bool accepted_ = false;        // a data line was found in the first 64 KB
    std::uint64_t first_record_at_ = UINT64_MAX;
    std::size_t entries_ = 0;
    std::uint64_t restarts_ = 0;
    std::size_t bad_lines_ = 0;
    chunked_list<stored_record> records_;
    chunked_list<std::array<std::uint16_t, 60>> small_counts_;
    chunked_list<std::array<double, 60>> full_counts_;
};

// A record's time stamp in ISO 8601 without a zone: "2026-12-10T11:37:20".
std::string iso_time(std::int64_t t);
