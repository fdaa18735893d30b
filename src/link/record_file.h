#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "link/clock.h"

// The open record file. Entries are gathered per batch and handed to the
// system in one write, at once, followed by a data sync, so a crash or a
// power cut loses at most the batches of the last moment. The sync runs on a
// thread of its own (POSIX): on a slow disk it can take longer than a tick of
// the user-interface thread that writes the batches. A failed write or sync
// (disk full, medium removed) is remembered with its reason instead of being
// dropped silently.
class record_file {
public:
    record_file();
    ~record_file();
    record_file(const record_file&) = delete;
    record_file& operator=(const record_file&) = delete;

    enum class mode { replace, append };
    // Creates the file, and empties it or (append) goes on after what it
    // holds: a recording that goes on after the instrument came back. False,
    // keeping any file already open, when it cannot be opened or one is open.
    bool open(const std::string& path, mode m = mode::replace);
    void append(std::string_view bytes) { batch_.append(bytes); }
    // Writes the gathered batch out and has it synced. False when it failed,
    // or an earlier batch failed to sync.
    bool commit();
    void close();

    bool is_open() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

private:
    struct syncer;
    // Takes a failure of the sync thread as the file's own.
    void take_sync_error();

    int fd_ = -1;
    std::unique_ptr<syncer> syncer_;
    std::string batch_;
    std::string error_;
};

// The name of a record file made at local time t for the instrument with the
// given serial number: qelm007_20070305140209.dat.
std::string record_file_name(std::int32_t serial_number, const marev::local_time& t);
