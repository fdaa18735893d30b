#include "recorder.h"

#include "link/clock.h"
#include "link/command.h"
#include "link/link_error.h"
#include "link/record_file.h"
#include "link/sample_rules.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace {

// 'P' again this often until the instrument's first byte.
constexpr std::int64_t probe_period_ms = 250;
// Waiting is told, and the status written, once a minute.
constexpr std::int64_t tell_period_ms = 60'000;
// The longest sleep: a signal that comes just before a wait is seen this late.
constexpr std::int64_t max_wait_ms = 1000;

std::string free_space_text(const std::string& folder) {
    std::error_code ec;
    const auto space = std::filesystem::space(folder, ec);
    if (ec)
        return "free space unknown";
    char text[48];
    const double bytes = double(space.available);
    if (bytes >= 1e9)
        std::snprintf(text, sizeof text, "%.1f GB free", bytes / 1e9);
    else
        std::snprintf(text, sizeof text, "%.0f MB free", bytes / 1e6);
    return text;
}

void sleep_ms(std::int64_t ms) {
#ifdef _WIN32
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
#else
    // poll() rather than a sleep: a signal ends it at once.
    ::poll(nullptr, 0, int(ms));
#endif
}

} // namespace

std::int64_t steady_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string iso_utc(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
#ifdef _WIN32
    ::gmtime_s(&tm, &tt);
#else
    ::gmtime_r(&tt, &tm);
#endif
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

std::string folder_problem(const std::string& folder) {
#ifdef _WIN32
    const std::string probe =
        marev::sample_path(folder, ".marev-record-" + std::to_string(::_getpid()));
    const int fd = ::_open(probe.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return std::strerror(errno);
    ::_close(fd);
    ::_unlink(probe.c_str());
#else
    const std::string probe =
        marev::sample_path(folder, ".marev-record-" + std::to_string(::getpid()));
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::strerror(errno);
    ::close(fd);
    ::unlink(probe.c_str());
#endif
    return {};
}

recorder::recorder(record_options options, std::ostream& err)
    : opt_(std::move(options)), err_(err), samples_left_(opt_.samples_left) {}

int recorder::run(const volatile std::sig_atomic_t& stop) {
    if (const std::string why = folder_problem(opt_.folder); !why.empty()) {
        err_ << "marev-record: the folder " << opt_.folder << " cannot be written: " << why << "\n";
        return 1;
    }
    const std::int64_t start = steady_ms();
    next_status_ms_ = start + tell_period_ms;
    try_open(start);
    while (!stop && !last_sample_done_ && status_ == 0) {
        const std::int64_t now = steady_ms();
        if (state_ == link_state::closed && reconnect_.try_due(now))
            try_open(now);
        const int ms = wait_ms(now);
        const bool ready = reader_ && reader_->wait_for_input(ms);
        if (!reader_)
            sleep_ms(ms);
        if (stop)
            break;
        const std::uint64_t bytes = reader_ ? reader_->rx_byte_count() : 0;
        step(steady_ms());
        // A device that says it has input and gives none (not a terminal)
        // must not make the loop spin.
        if (ready && reader_ && reader_->rx_byte_count() == bytes)
            sleep_ms(std::min(ms, 100));
    }
    finish();
    return status_;
}

void recorder::try_open(std::int64_t now_ms) {
    // A fresh reader finds the start of the stream again: the first bytes
    // after a return may be the end of a line.
    qelm_reader::set_synced(false);
    auto reader = std::make_unique<qelm_reader>();
    reader->set_include_time(opt_.time_stamps);
    try {
        if (opt_.device.empty())
            reader->connect(opt_.port);
        else
            reader->connect_device(opt_.device);
    } catch (const link_error& e) {
        open_failure_ = e.detail().empty() ? e.what() : e.detail();
        if (!reconnect_.waiting())
            reconnect_.lost(now_ms);
        tell_waiting(now_ms);
        return;
    }
    reconnect_.end();
    reader_ = std::move(reader);
    state_ = link_state::probing;
    next_probe_ms_ = now_ms;
    next_tell_ms_ = now_ms + tell_period_ms;
}

void recorder::step(std::int64_t now_ms) {
    if (reader_) {
        try {
            reader_->poll();
        } catch (const std::exception&) {
            // A failed poll is an empty one.
        }
        if (reader_->port_lost())
            lose(now_ms);
    }
    switch (state_) {
    case link_state::closed:
        tell_waiting(now_ms);
        break;
    case link_state::probing:
        if (reader_->rx_byte_count() == 0) {
            if (now_ms >= next_probe_ms_) {
                reader_->send_command(command::probe);
                next_probe_ms_ = now_ms + probe_period_ms;
            }
            tell_waiting(now_ms);
            break;
        }
        state_ = link_state::identifying;
        [[fallthrough]];
    case link_state::identifying:
        if (reader_->serial_number() != 0)
            found(now_ms);
        else
            tell_waiting(now_ms);
        break;
    case link_state::running:
        break;
    }
    if (state_ == link_state::running)
        write_batch();
    check_sample();
    status(now_ms);
}

void recorder::found(std::int64_t now_ms) {
    state_ = link_state::running;
    char who[32];
    std::snprintf(who, sizeof who, "QELM %03d", int(reader_->serial_number()));
    const std::string where = port_text();
    if (!lost_once_) {
        event(std::string(who) + " found on " + where);
    } else {
        event(std::string(who) + " back on " + where + " after " +
              std::to_string((now_ms - lost_at_ms_) / 1000) + " s");
    }
    if (path_.empty()) {
        // Every line of this connection, the one that identified it too.
        open_sample_file(0);
        return;
    }
    // The sample goes on in its own file.
    try {
        reader_->append_record(path_, 0, start_);
        write_error_told_ = false;
        event("going on in " + path_);
    } catch (const link_error& e) {
        event("cannot open the record file " + e.detail());
        status_ = 1;
    }
}

void recorder::lose(std::int64_t now_ms) {
    // Everything taken before the hang-up goes to the file first.
    if (reader_->record_open()) {
        write_batch();
        reader_->close_record();
    }
    bad_lines_before_ += std::max(0, reader_->bad_lines());
    event("instrument lost on " + port_text());
    reader_.reset();
    state_ = link_state::closed;
    lost_once_ = true;
    lost_at_ms_ = now_ms;
    reconnect_.lost(now_ms);
    next_tell_ms_ = now_ms + tell_period_ms;
}

bool recorder::open_sample_file(std::size_t first) {
    const std::int64_t now = marev::now();
    const std::string path = marev::sample_path(
        opt_.folder, record_file_name(reader_->serial_number(), marev::current_clock().local(now)));
    try {
        reader_->open_record(path, first);
    } catch (const link_error& e) {
        event("cannot open the record file " + e.detail());
        status_ = 1;
        return false;
    }
    path_ = path;
    start_ = now;
    stop_ = opt_.sample_length == 0 ? 0 : marev::sample_stop(now, opt_.sample_length);
    write_error_told_ = false;
    ++files_;
    event("new file " + path_);
    return true;
}

void recorder::check_sample() {
    if (stop_ == 0 || path_.empty() || !marev::sample_over(marev::now(), stop_))
        return;
    // The sample's file gets every line taken before its end; the line being
    // received goes to the next one.
    close_file();
    path_.clear();
    if (samples_left_ == 0) {
        last_sample_done_ = true;
        return;
    }
    if (samples_left_ > 0)
        --samples_left_;
    // While the instrument is away the next sample starts when it is back.
    if (state_ == link_state::running)
        open_sample_file(reader_->line_count());
}

void recorder::write_batch() {
    if (!reader_ || !reader_->record_open())
        return;
    const std::size_t from = std::max(reader_->written(), reader_->first_held_line());
    const std::size_t count = reader_->line_count();
    reader_->write_records();
    reader_->clear_records();
    if (!reader_->record_error().empty()) {
        if (!write_error_told_)
            event(path_ + ": " + reader_->record_error() +
                  "; the lines received from now on are not saved");
        write_error_told_ = true;
        return;
    }
    if (count > from)
        lines_recorded_ += count - from;
}

void recorder::close_file() {
    if (!reader_ || !reader_->record_open())
        return;
    write_batch();
    reader_->close_record();
}

void recorder::finish() {
    if (reader_) {
        // What has arrived by now is taken and written.
        try {
            reader_->poll();
        } catch (const std::exception&) {
        }
        close_file();
    }
    event("stopped: " + std::to_string(lines_recorded_) + " lines recorded in " +
          std::to_string(files_) + (files_ == 1 ? " file" : " files"));
}

int recorder::wait_ms(std::int64_t now_ms) const {
    std::int64_t ms = std::min(max_wait_ms, next_status_ms_ - now_ms);
    if (state_ == link_state::closed)
        ms = std::min(ms, reconnect_.ms_to_next_try(now_ms));
    if (state_ == link_state::probing)
        ms = std::min(ms, next_probe_ms_ - now_ms);
    if (stop_ != 0 && !path_.empty()) {
        // Just after the second in which the sample ends.
        using namespace std::chrono;
        const std::int64_t wall_ms =
            duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        ms = std::min(ms, stop_ * 1000 - wall_ms + 2);
    }
    return int(std::max<std::int64_t>(ms, 0));
}

void recorder::tell_waiting(std::int64_t now_ms) {
    if (now_ms < next_tell_ms_)
        return;
    next_tell_ms_ = now_ms + tell_period_ms;
    if (state_ == link_state::closed)
        event("waiting for the instrument on " + port_text() + ": " + open_failure_ +
              "; trying again every 2 s");
    else
        event("waiting for the instrument on " + port_text());
}

void recorder::status(std::int64_t now_ms) {
    if (now_ms < next_status_ms_)
        return;
    next_status_ms_ = now_ms + tell_period_ms;
    if (opt_.quiet)
        return;
    event("status: " + std::to_string(lines_recorded_) + " lines recorded, " +
          std::to_string(bad_lines()) + " bad lines, file " + (path_.empty() ? "none" : path_) +
          ", " + free_space_text(opt_.folder));
}

void recorder::event(const std::string& text) {
    err_ << iso_utc(marev::now()) << " " << text << "\n" << std::flush;
}

std::string recorder::port_text() const {
    if (!opt_.device.empty())
        return opt_.device;
    std::string text = "COM" + std::to_string(opt_.port);
    if (reader_ && reader_->port() && !reader_->port()->device().empty())
        text += " (" + reader_->port()->device() + ")";
    return text;
}

int recorder::bad_lines() const {
    return bad_lines_before_ + (reader_ ? std::max(0, reader_->bad_lines()) : 0);
}
