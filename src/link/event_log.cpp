#include "link/event_log.h"

#include "link/clock.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>

namespace marev {

namespace fs = std::filesystem;

event_log::event_log(std::string path, std::uint64_t limit)
    : path_(std::move(path)), limit_(limit) {}

bool event_log::write(std::string_view text) const {
    if (path_.empty())
        return false;
    std::string line = iso_utc(now()) + " " + std::string(text) + "\n";
    std::error_code ec;
    const fs::path p(path_);
    if (p.has_parent_path())
        fs::create_directories(p.parent_path(), ec);
    const std::uintmax_t size = fs::file_size(p, ec);
    if (!ec && size > 0 && size + line.size() > limit_) {
        fs::path old = p;
        old += ".1";
        // Windows' rename does not replace; one old copy is all that is kept.
        fs::remove(old, ec);
        fs::rename(p, old, ec);
    }
    std::FILE* f = std::fopen(path_.c_str(), "ab");
    if (!f)
        return false;
    const bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    return std::fclose(f) == 0 && ok;
}

std::string iso_utc(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &tt);
#else
    gmtime_r(&tt, &tm);
#endif
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string state_folder() {
#ifdef _WIN32
    const char* base = std::getenv("LOCALAPPDATA");
    if (!base || !*base)
        base = std::getenv("APPDATA");
    return std::string(base && *base ? base : ".") + "\\Quorvex\\Marev01";
#else
    if (const char* s = std::getenv("XDG_STATE_HOME"); s && *s == '/')
        return std::string(s) + "/Quorvex/Marev01";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/state/Quorvex/Marev01";
#endif
}

namespace {
std::optional<std::string> chosen_path;
}

void set_event_log_path(const std::string& path) {
    chosen_path = path;
}

std::string event_log_path() {
    if (chosen_path)
        return *chosen_path;
#ifdef _WIN32
    return state_folder() + "\\events.log";
#else
    return state_folder() + "/events.log";
#endif
}

void log_event(std::string_view text) {
    event_log(event_log_path()).write(text);
}

} // namespace marev
