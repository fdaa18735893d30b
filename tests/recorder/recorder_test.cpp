// marev-record as a user runs it, against the simulated instrument at a raised
// line rate: its files hold the simulator's lines, once each and in order.

#include "link/record_file.h"

#include "sim_log.h"
#include "sim_process.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

// marev-record started with the arguments, its standard output and error
// going to files, the port folder under config/ of the scratch folder.
class record_process {
public:
    record_process(const temp_dir& dir, std::vector<std::string> args)
        : out_(dir.file("record.out")), err_(dir.file("record.err")) {
        std::vector<std::string> words{MAREV_RECORD_PATH};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        std::vector<std::string> env_words{"XDG_CONFIG_HOME=" + dir.file("config"), "TZ=UTC"};
        for (char** e = environ; *e; ++e)
            if (std::string_view(*e).rfind("XDG_CONFIG_HOME=", 0) != 0 &&
                std::string_view(*e).rfind("TZ=", 0) != 0)
                env_words.push_back(*e);
        std::vector<char*> envp;
        for (auto& w : env_words)
            envp.push_back(w.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, out_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, err_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int rc = ::posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0)
            throw std::runtime_error("cannot start marev-record");
    }
    ~record_process() {
        if (status_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    record_process(const record_process&) = delete;
    record_process& operator=(const record_process&) = delete;

    void signal(int sig) const { ::kill(pid_, sig); }
    // The exit status, 128 + the signal that ended it, or -1 while it runs on
    // after the limit.
    int wait(std::chrono::milliseconds limit = 15s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (status_ < 0) {
            int st = 0;
            if (::waitpid(pid_, &st, WNOHANG) == pid_)
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            else if (std::chrono::steady_clock::now() >= deadline)
                break;
            else
                std::this_thread::sleep_for(10ms);
        }
        return status_;
    }
    std::string out() const { return read_file(out_); }
    std::string err() const { return read_file(err_); }

private:
    std::string out_, err_;
    pid_t pid_ = -1;
    int status_ = -1;
};

// The record files of a folder, in the order of their names (the clock's).
std::vector<std::string> record_files(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// Lines the simulator sent before the recorder closed the port.
std::size_t lines_sent_before_close(const std::string& log) {
    std::size_t lines = 0, before_close = 0;
    for (const auto& e : qelm_sim::read_log(log)) {
        if (e.kind == "TX")
            lines += std::size_t(std::count(e.bytes.begin(), e.bytes.end(), '\n'));
        if (e.kind == "CLOSE")
            before_close = lines;
    }
    return before_close;
}

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class recorder_run : public testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(ports); }
    // A simulator on COM<port> of the recorder's port folder.
    std::vector<std::string> sim_args(int port, std::vector<std::string> more = {}) {
        std::vector<std::string> a{"--port",        std::to_string(port),
                                   "--port-folder", ports,
                                   "--serial",      "42",
                                   "--rate",        "20",
                                   "--seed",        "5",
                                   "--log",         log};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }

    temp_dir dir;
    std::string ports = dir.file("config") + "/Quorvex/ports";
    std::string log = dir.file("sim.log");
    temp_dir out;
};

// The sample files together are the lines sent from the second on (the first
// goes to finding the start of the stream), none twice and none missing.
TEST_F(recorder_run, three_samples_hold_every_line_sent_once_in_order) {
    qelm_sim::sim_process sim(sim_args(11));
    record_process rec(dir, {"--port", "11", "--folder", out.path().string(), "--sample-length",
                             "2s", "--samples", "3", "--quiet"});
    ASSERT_EQ(rec.wait(), 0) << rec.err();
    EXPECT_EQ(rec.out(), "");

    const auto files = record_files(out.path().string());
    ASSERT_EQ(files.size(), 3u);
    std::vector<std::string> entries;
    for (const auto& f : files) {
        EXPECT_TRUE(std::regex_match(std::filesystem::path(f).filename().string(),
                                     std::regex(R"(qelm042_\d{14}\.dat)")))
            << f;
        const auto in_file = read_entries(f);
        EXPECT_FALSE(in_file.empty()) << f;
        entries.insert(entries.end(), in_file.begin(), in_file.end());
        EXPECT_NE(rec.err().find("new file " + f + "\n"), std::string::npos) << rec.err();
    }
    EXPECT_NE(rec.err().find("QELM 042 found on COM11"), std::string::npos) << rec.err();

    const auto sent = qelm_sim::sent_lines(log);
    ASSERT_GE(sent.size(), entries.size() + 1);
    EXPECT_TRUE(std::equal(entries.begin(), entries.end(), sent.begin() + 1));
    // At the end only the line still waiting for the next line feed, and one
    // that came after the last file closed, may be missing.
    EXPECT_GE(entries.size() + 3, lines_sent_before_close(log));
}

// SIGTERM in the middle of a sample: every line taken is in the file, raw or
// with the program's time stamp before it, and the recorder ends with 0.
TEST_F(recorder_run, sigterm_in_a_sample_writes_every_line_taken_in_either_form) {
    for (const bool stamped : {false, true}) {
        SCOPED_TRACE(stamped ? "time-stamped" : "raw");
        std::filesystem::remove(log);
        qelm_sim::sim_process sim(sim_args(stamped ? 13 : 12));
        const std::string folder = out.file(stamped ? "stamped" : "raw");
        std::filesystem::create_directory(folder);
        // The time-stamped run opens the device by its path.
        std::vector<std::string> args{"--folder", folder, "--sample-length", "1h"};
        if (stamped)
            args.insert(args.end(), {"--time-stamps", "--device", sim.device()});
        else
            args.insert(args.end(), {"--port", "12"});
        record_process rec(dir, args);
        ASSERT_TRUE(wait_until([&] {
            const auto files = record_files(folder);
            return files.size() == 1 && read_entries(files[0]).size() >= 20;
        })) << rec.err();
        rec.signal(SIGTERM);
        ASSERT_EQ(rec.wait(), 0) << rec.err();
        EXPECT_EQ(rec.out(), "");
        EXPECT_NE(rec.err().find("stopped: "), std::string::npos) << rec.err();

        const auto files = record_files(folder);
        ASSERT_EQ(files.size(), 1u);
        std::vector<std::string> entries = read_entries(files[0]);
        if (stamped) {
            const std::regex stamp(R"(\d{4}-\d\d-\d\d,\d\d:\d\d:\d\d,)");
            for (auto& e : entries) {
                ASSERT_GT(e.size(), 20u);
                ASSERT_TRUE(std::regex_match(e.substr(0, 20), stamp)) << e;
                e.erase(0, 20);
            }
        }
        const auto sent = qelm_sim::sent_lines(log);
        ASSERT_GE(sent.size(), entries.size() + 1);
        EXPECT_TRUE(std::equal(entries.begin(), entries.end(), sent.begin() + 1));
        // Only the line still waiting for the next line feed may be missing.
        EXPECT_GE(entries.size() + 2, lines_sent_before_close(log));
    }
}

// The instrument vanishes inside a sample and comes back on a new device: the
// recording goes on in the same file, nothing written twice. Lost are only the
// line that waited for the next line feed when the device went, and the first
// line after the return, which goes to finding the start of the stream again.
TEST_F(recorder_run, a_vanish_and_return_inside_a_sample_goes_on_in_the_same_file) {
    qelm_sim::sim_process sim(sim_args(15, {"--vanish", "30", "--return-after", "1"}));
    record_process rec(
        dir, {"--port", "15", "--folder", out.path().string(), "--sample-length", "1h", "--quiet"});
    ASSERT_TRUE(wait_until([&] { return rec.err().find("going on in ") != std::string::npos; }))
        << rec.err();
    ASSERT_TRUE(wait_until([&] {
        const auto files = record_files(out.path().string());
        return files.size() == 1 && read_entries(files[0]).size() >= 40;
    })) << rec.err();
    rec.signal(SIGTERM);
    ASSERT_EQ(rec.wait(), 0) << rec.err();
    const std::string err = rec.err();
    const auto lost = err.find("instrument lost on COM15");
    const auto back = err.find("QELM 042 back on COM15");
    ASSERT_NE(lost, std::string::npos) << err;
    ASSERT_NE(back, std::string::npos) << err;
    EXPECT_LT(lost, back);

    const auto files = record_files(out.path().string());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_NE(err.find("going on in " + files[0] + "\n"), std::string::npos) << err;
    const auto entries = read_entries(files[0]);

    // Whole lines sent before the vanish; the next "line" of the log is the
    // half line sent then, joined to the first line after the return.
    std::size_t before = 0;
    for (const auto& e : qelm_sim::read_log(log)) {
        if (e.kind == "VANISH")
            break;
        if (e.kind == "TX")
            before += std::size_t(std::count(e.bytes.begin(), e.bytes.end(), '\n'));
    }
    ASSERT_EQ(before, 30u);
    const auto sent = qelm_sim::sent_lines(log);
    ASSERT_GT(sent.size(), before + 1);
    std::vector<std::string> expected(sent.begin() + 1, sent.begin() + std::ptrdiff_t(before) - 1);
    expected.insert(expected.end(), sent.begin() + std::ptrdiff_t(before) + 1, sent.end());
    ASSERT_LE(entries.size(), expected.size());
    EXPECT_TRUE(std::equal(entries.begin(), entries.end(), expected.begin()));
    // At the end, as after SIGTERM: the line waiting for the next line feed.
    EXPECT_GE(entries.size() + 3 + 2, lines_sent_before_close(log));
}

// Started before the instrument is there (a service at boot, the adapter not
// yet plugged in): it says so at once, tries again and records once it comes.
TEST_F(recorder_run, waits_for_an_instrument_that_is_not_there_yet) {
    record_process rec(dir, {"--port", "116", "--folder", out.path().string()});
    ASSERT_TRUE(wait_until([&] {
        return rec.err().find("waiting for the instrument on COM116") != std::string::npos;
    })) << rec.err();
    EXPECT_TRUE(record_files(out.path().string()).empty());
    qelm_sim::sim_process sim(sim_args(116));
    ASSERT_TRUE(wait_until([&] {
        const auto files = record_files(out.path().string());
        return files.size() == 1 && read_entries(files[0]).size() >= 5;
    })) << rec.err();
    rec.signal(SIGINT);
    EXPECT_EQ(rec.wait(), 0) << rec.err();
    EXPECT_NE(rec.err().find("QELM 042 found on COM116"), std::string::npos) << rec.err();
    EXPECT_EQ(rec.out(), "");
}

TEST_F(recorder_run, a_bad_command_line_ends_with_status_2_and_the_usage) {
    const std::vector<std::vector<std::string>> rows = {
        {"--bogus"},
        {"--port"},
        {"--port", "0"},
        {"--port", "x"},
        {"--port", "3", "--device", "/dev/null"},
        {"--folder="},
        {"--sample-length", "90"},
        {"--sample-length", "0s"},
        {"--sample-length", "1d"},
        {"--sample-length", "-5m"},
        {"--sample-length", "1.5h"},
        {"--sample-length", "99999999h"},
        {"--samples", "3"},
        {"--samples", "0", "--sample-length", "1m"},
        {"--samples", "many", "--sample-length", "1m"},
        {"--quiet=yes"},
    };
    for (const auto& args : rows) {
        std::string line;
        for (const auto& a : args)
            line += a + " ";
        SCOPED_TRACE(line);
        record_process rec(dir, args);
        EXPECT_EQ(rec.wait(), 2);
        EXPECT_EQ(rec.out(), "");
        EXPECT_EQ(rec.err().rfind("marev-record: ", 0), 0u) << rec.err();
        EXPECT_NE(rec.err().find("marev-record [--port N | --device PATH] [--folder DIR] "
                                 "[--time-stamps]\n             [--sample-length 90s|30m|2h] "
                                 "[--samples N|forever] [--quiet]\n"),
                  std::string::npos)
            << rec.err();
    }
    record_process help(dir, {"--help"});
    EXPECT_EQ(help.wait(), 0);
    EXPECT_EQ(help.out().rfind("Usage:\nmarev-record [--port N | --device PATH]", 0), 0u)
        << help.out();
}

TEST_F(recorder_run, a_folder_that_cannot_be_written_ends_with_status_1_saying_why) {
    write_file(out.file("plain"), "a file, not a folder");
    const struct {
        std::string folder, why;
    } rows[] = {
        {out.file("missing"), "No such file or directory"},
        {out.file("plain"), "Not a directory"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.folder);
        record_process rec(dir, {"--port", "14", "--folder", r.folder});
        EXPECT_EQ(rec.wait(), 1);
        EXPECT_EQ(rec.out(), "");
        EXPECT_NE(rec.err().find(r.folder), std::string::npos) << rec.err();
        EXPECT_NE(rec.err().find(r.why), std::string::npos) << rec.err();
    }
}

} // namespace
