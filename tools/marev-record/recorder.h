#pragma once

#include "options.h"

#include "link/qelm_reader.h"
#include "link/reconnect.h"

#include <csignal>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

// One recording run: opens the port, probes and identifies the instrument,
// writes its lines to the record files sample by sample, waits for it when it
// is lost, and tells what happens on the stream it is given. It sleeps in the
// port's wait between lines; nothing runs on a timer.
class recorder {
public:
    recorder(record_options options, std::ostream& err);
    recorder(const recorder&) = delete;
    recorder& operator=(const recorder&) = delete;

    // Records until stop becomes non-zero or the last sample ends. Returns the
    // exit status: 0, or 1 when the folder cannot be written at the start or a
    // sample's file cannot be opened.
    int run(const volatile std::sig_atomic_t& stop);

private:
    enum class link_state { closed, probing, identifying, running };

    void try_open(std::int64_t now_ms);
    void step(std::int64_t now_ms);
    void found(std::int64_t now_ms);
    void lose(std::int64_t now_ms);
    // Opens the next sample's file; its lines start at line first.
    bool open_sample_file(std::size_t first);
    void check_sample();
    void write_batch();
    void close_file();
    void finish();
    int wait_ms(std::int64_t now_ms) const;
    void tell_waiting(std::int64_t now_ms);
    void status(std::int64_t now_ms);
    void event(const std::string& text);
    std::string port_text() const;
    int bad_lines() const;

    record_options opt_;
    std::ostream& err_;
    std::unique_ptr<qelm_reader> reader_;
    link_state state_ = link_state::closed;
    marev::reconnect_wait reconnect_;
    std::string open_failure_; // the last reason the port did not open

    // The current sample: its file, start and stop (calendar seconds; stop 0
    // without a sample length). No path: the next sample starts with the
    // next identification.
    std::string path_;
    std::int64_t start_ = 0;
    std::int64_t stop_ = 0;
    std::int32_t samples_left_ = -1;
    bool last_sample_done_ = false;
    bool write_error_told_ = false;
    int status_ = 0;

    bool lost_once_ = false; // a loss happened: the next identification is a return
    std::int64_t lost_at_ms_ = 0;
    std::int64_t next_probe_ms_ = 0;
    std::int64_t next_tell_ms_ = 0;
    std::int64_t next_status_ms_ = 0;
    std::uint64_t lines_recorded_ = 0;
    int bad_lines_before_ = 0; // of the readers before this one
    int files_ = 0;
};

// Milliseconds of a clock that only goes forward.
std::int64_t steady_ms();
// "2026-12-10T09:05:03Z": the calendar time t in UTC.
std::string iso_utc(std::int64_t t);
// Why the folder cannot take record files, or "" when it can: a file is made
// in it and removed again.
std::string folder_problem(const std::string& folder);
