#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace marev {

// The log of what happened while nobody watched: connections, losses,
// returns, files opened and closed, errors shown. One line per event, an
// ISO 8601 UTC time stamp and the event in words. The file is opened,
// appended and closed for each event, so a crash loses nothing already
// told; past its size limit it is renamed to "<path>.1" (one old copy) and a
// new one begun. Writing never throws: a log that cannot be written must not
// stop a recording.
class event_log {
public:
    static constexpr std::uint64_t default_limit = 1024 * 1024;

    explicit event_log(std::string path, std::uint64_t limit = default_limit);

    // Appends "<time stamp> <text>" with the clock's time (marev::now()).
    // False when the line could not be written.
    bool write(std::string_view text) const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::uint64_t limit_;
};

// "2026-12-10T11:37:36Z" for calendar time t.
std::string iso_utc(std::int64_t t);

// The program's state folder: $XDG_STATE_HOME (else ~/.local/state) with
// Quorvex/Marev01 below it; on Windows Quorvex\Marev01 in the local
// application data folder.
std::string state_folder();

// The program's event log, events.log in the state folder (made when the
// first event is written). Tests may point it elsewhere; an empty path turns
// it off.
void set_event_log_path(const std::string& path);
std::string event_log_path();
// Writes one event to the program's event log.
void log_event(std::string_view text);

} // namespace marev
