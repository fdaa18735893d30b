#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "link/chunked_list.h"
#include "link/command.h"
#include "link/data_record.h"
#include "link/record_file.h"
#include "link/serial.h"

// The connection to one instrument: owns the serial port, cuts the byte stream
// into lines after finding the start of the stream, parses each line, keeps the
// values of every good line for the whole connection, counts bad lines, sends
// commands and writes the record file.
//
// Memory stays flat however long it runs: bytes already cut into lines are
// dropped, lines are held only while they may still be written to the record
// file (plus the latest thousand), and the values of records only for the
// latest kept_records (the display reads the latest record, the calibration
// the records of its last minute); every index keeps its meaning.
class qelm_reader {
public:
    qelm_reader();
    ~qelm_reader();
    qelm_reader(const qelm_reader&) = delete;
    qelm_reader& operator=(const qelm_reader&) = delete;

    // Opens "COM<port>" and resets the stream state. Throws the port's
    // link_error ("Could Not Open COM<port>.").
    void connect(int port);
    // Opens a device by its path (/dev/ttyUSB0 ...) in the same way; the
    // error names port 0.
    void connect_device(const std::string& path);
    // Closes the port; the histories stay readable. Throws
    // "Could not close comm port".
    void disconnect();
    // Reads what the port holds (at most 4096 bytes, never waiting) and runs
    // the line step at every newline.
    void poll();
    // Waits up to timeout_ms for the port to have bytes (or to go away); false
    // at once without an open port.
    bool wait_for_input(int timeout_ms) { return port_open() && port_->wait_input(timeout_ms); }
    // Forgets everything received: bytes, lines and records.
    void clear();
    // Takes the complete lines not taken yet. Found in step, the reader takes
    // a line when the next newline comes, so the latest complete line waits;
    // where no next newline is to be waited for (the port is lost, a sample
    // ends), it is taken at once.
    void take_held_lines();
    // Forgets the lines and records taken so far, as clear() does, but keeps
    // the bytes not yet cut into lines: the line under way is the next one
    // taken, so a new sample starts without losing it or finding the stream
    // again.
    void forget_taken();
    // Forgets the values of the records taken so far, keeping the stream, the
    // lines and the counts of lines: a recorder that shows no values keeps
    // its memory flat over weeks.
    void clear_records();
    // Empties the line list only.
    void clear_lines();
    // Takes bytes as poll() takes them from the port; for feeding a reader
    // from somewhere else than a port (tests, replay).
    void receive(const std::uint8_t* data, std::size_t n);
    void receive(std::string_view bytes) {
        receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }

    // Sends the byte of a command code; throws "Bad command for QELM" for a
    // code without one. Nothing is sent, and nothing reported, with no open port.
    void send_command(command code);
    // Sends every byte of the text up to its first NUL, one write each.
    void send_text(std::string_view text);

    // Record file. open_record throws "Unable to open file for saving.".
    // With append, the file keeps what it holds and the lines follow it (a
    // recording that goes on after a reconnection); record_start is then the
    // given start rather than now.
    void open_record(const std::string& path, std::size_t first);
    void append_record(const std::string& path, std::size_t first, std::int64_t start);
    void write_records();
    void close_record();
    bool record_open() const { return file_.is_open(); }
    // Empty while every batch reached the file; else why it did not (disk
    // full ...). Set once per file; the lines of the failed batch are lost.
    const std::string& record_error() const { return file_.error(); }

    // Records whose values are held: at least this many of the latest, more
    // than the calibration's averaging window at any line rate the display
    // keeps up with.
    static constexpr std::size_t kept_records = 16384;

    // Counts and positions.
    std::size_t record_count() const { return records_.size(); }
    // Values are held for records from this one on (record 0's time always).
    std::size_t first_held_record() const { return records_.first_held(); }
    std::size_t line_count() const { return lines_base_ + lines_.size(); }
    std::uint64_t rx_byte_count() const { return rx_total_; }
    // Line i; held are every line not yet written while a record file is open,
    // and otherwise at least the latest thousand. Throws std::out_of_range for
    // a line no longer held.
    const std::string& line(std::size_t i) const;
    std::size_t first_held_line() const { return lines_base_; }
    int bad_lines() const { return bad_lines_; }
    std::int32_t serial_number() const { return serial_number_; }
    std::int64_t record_start() const { return record_start_; }
    std::size_t written() const { return written_; }
    bool include_time() const { return include_time_; }
    void set_include_time(bool on) { include_time_ = on; }

    // Values of record r; std::out_of_range for a record no longer held.
    // Record r as parsed (serial_number is the reader's latest).
    data_record record(std::size_t r) const;
    std::uint32_t counter(std::size_t r) const { return held(r).counter; }
    double cal_coeff(std::size_t r) const { return held(r).cal_coeff; }
    double ave_bl(std::size_t r) const { return held(r).ave_bl; }
    std::uint32_t pump_rpm(std::size_t r) const { return held(r).pump_rpm; }
    double pmt_voltage(std::size_t r) const { return held(r).pmt_voltage; }
    std::uint32_t flow_rpm(std::size_t r) const { return held(r).flow_rpm; }
    double hv_control(std::size_t r) const { return held(r).hv_control; }
    double aux_1(std::size_t r) const { return held(r).aux_1; }
    double aux_2(std::size_t r) const { return held(r).aux_2; }
    // The first record's time stays: it is where the time axis of the run starts.
    std::int64_t time(std::size_t r) const {
        return r == 0 && !records_.empty() ? first_time_ : held(r).time;
    }
    double raw_count(std::size_t r, std::size_t j) const {
        const std::uint32_t slot = held(r).counts_slot;
        return slot & full_slot ? full_counts_[slot & ~full_slot][j] : small_counts_[slot][j];
    }

    // Called with the text of every good line, after its values are stored.
    void set_line_callback(std::function<void(const std::string&)> f) { on_line_ = std::move(f); }

    // The port: open, and whether its device has gone away.
    bool port_open() const { return port_ && port_->is_open(); }
    bool port_lost() const { return lost_; }
    const Serial* port() const { return port_.get(); }

    // Whether the reader has found the start of the stream. One flag for all
    // readers of the program: a new reader starts synchronised when the one
    // before it was.
    static bool synced() { return synced_; }
    static void set_synced(bool on) { synced_ = on; }

    // Bytes of memory the reader holds for its data (records, lines, pending
    // bytes), for the benchmarks.
    std::size_t memory_bytes() const;

private:
    // A stretch of the byte stream between two newlines. Only the first
    // max_line_length bytes are kept: a longer line is bad anyway, and a
    // stream without newlines must not grow memory.
    struct segment {
        std::string text;       // the bytes, cut at max_line_length
        std::uint64_t size = 0; // the true number of bytes, newline excluded
        bool complete = false;  // ended by a newline
    };
    // The header values of one record and where its counts are. Counts that
    // are all whole numbers from 0 to 65535, as the PMT's are, are kept in 16
    // bits each, exactly; any other set of counts is kept as doubles.
    struct stored_record {
        std::uint32_t counter, pump_rpm, flow_rpm, counts_slot;
        double cal_coeff, ave_bl, pmt_voltage, hv_control, aux_1, aux_2;
        std::int64_t time;
    };
    static constexpr std::uint32_t full_slot = 0x8000'0000u;

    const stored_record& held(std::size_t r) const;
    void connect_named(int port, const std::string& name);
    void store(const data_record& rec);
    void release_old_records();
    void line_step();
    void take_line();
    void push_line(std::string text);
    void trim_lines();

    std::unique_ptr<Serial> port_;
    std::function<void(const std::string&)> on_line_;

    // Pending stream: the segments from the one holding scan_pos to the end.
    std::deque<segment> pending_;
    std::uint64_t pending_start_ = 0; // stream index of pending_.front()'s first byte
    std::uint64_t rx_total_ = 0;      // bytes received since connect or clear
    std::uint64_t scan_pos_ = 0;      // stream index of the next byte the line step examines

    std::deque<std::string> lines_;
    std::size_t lines_base_ = 0; // index of lines_.front()

    chunked_list<stored_record> records_;
    chunked_list<std::array<std::uint16_t, 60>> small_counts_;
    chunked_list<std::array<double, 60>> full_counts_;
    std::int64_t first_time_ = 0;
    int bad_lines_ = 0;
    std::int32_t serial_number_ = 0;
    bool include_time_ = false;
    bool lost_ = false;
    std::int64_t record_start_ = 0;
    std::size_t written_ = 0;
    record_file file_;

    static inline bool synced_ = false;
};
