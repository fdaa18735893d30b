// Fault modes, replay of record files, and the life of the port link.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/ioctl.h>
#include <thread>

#include "data_line.h"
#include "pty_client.h"
#include "sim_log.h"
#include "sim_process.h"

using namespace qelm_sim;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

bool good(const std::string& line) {
    return read_sim_line(line).has_value();
}

bool link_exists(const std::string& path) {
    return fs::exists(fs::symlink_status(path));
}

struct run_result {
    std::vector<std::string> lines;
    std::string rest;
    std::vector<log_entry> log;
    int status = -1;
};

// Runs the simulator to its end with the extra arguments, reading everything.
run_result run_to_end(std::vector<std::string> extra) {
    temp_dir dir;
    std::vector<std::string> args = {"--port", "6",     "--port-folder", dir.path(),
                                     "--rate", "200",   "--autostart",   "--seed",
                                     "9",      "--log", dir.file("log")};
    args.insert(args.end(), extra.begin(), extra.end());
    sim_process sim(args);
    pty_client client(sim.device());
    run_result r;
    r.lines = client.lines_until_hangup();
    r.rest = client.rest();
    r.status = sim.wait(5s);
    r.log = read_log(dir.file("log"));
    EXPECT_FALSE(link_exists(dir.file("COM6")));
    return r;
}

std::vector<std::size_t> bad_indices(const std::vector<std::string>& lines) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (!good(lines[i]))
            out.push_back(i + 1);
    return out;
}

} // namespace

TEST(sim_faults, each_mode_mars_the_lines_it_names) {
    struct mode {
        std::vector<std::string> args;
        std::function<void(const run_result&)> check;
    };
    const std::vector<mode> modes = {
        {{"--bad-lines", "3", "--lines", "12"},
         [](const run_result& r) {
             EXPECT_EQ(bad_indices(r.lines), (std::vector<std::size_t>{3, 6, 9, 12}));
             // Four different faults, each still a line of the instrument.
             for (std::size_t i : {3u, 6u, 9u, 12u}) {
                 EXPECT_EQ(r.lines[i - 1].back(), '\r');
                 EXPECT_LT(r.lines[i - 1].size(), 400u);
             }
             EXPECT_EQ(r.lines[11], r.lines[11].substr(0, r.lines[11].rfind(',') + 1) + "\r");
         }},
        {{"--garbage", "4", "--lines", "12"},
         [](const run_result& r) {
             EXPECT_EQ(r.lines.size(), 12u); // garbage holds no line feed
             EXPECT_EQ(bad_indices(r.lines), (std::vector<std::size_t>{4, 8, 12}));
             for (std::size_t i : {4u, 8u, 12u}) {
                 auto q = r.lines[i - 1].find("QELM");
                 EXPECT_TRUE(q >= 1 && q <= 32) << q;
                 EXPECT_TRUE(good(r.lines[i - 1].substr(q)));
             }
         }},
        {{"--long-line", "5", "--lines", "10"},
         [](const run_result& r) {
             ASSERT_EQ(r.lines.size(), 10u);
             for (std::size_t i = 0; i < 10; ++i) {
                 bool is_long = (i + 1) % 5 == 0;
                 EXPECT_EQ(r.lines[i].size() == 10000, is_long) << i;
                 EXPECT_EQ(r.lines[i].rfind("QELM7,", 0), 0u);
                 EXPECT_EQ(r.lines[i].back(), '\r');
             }
         }},
        {{"--zero-serial", "3", "--lines", "6"},
         [](const run_result& r) {
             ASSERT_EQ(r.lines.size(), 6u);
             for (std::size_t i = 0; i < 6; ++i) {
                 auto l = read_sim_line(r.lines[i]);
                 ASSERT_TRUE(l);
                 EXPECT_EQ(l->serial, i < 3 ? 0 : 7);
             }
         }},
        {{"--burst", "4", "--lines", "12"},
         [](const run_result& r) {
             EXPECT_TRUE(bad_indices(r.lines).empty());
             std::vector<std::size_t> per_write;
             for (const auto& e : r.log)
                 if (e.kind == "TX")
                     per_write.push_back(
                         std::size_t(std::count(e.bytes.begin(), e.bytes.end(), '\n')));
             EXPECT_EQ(per_write, (std::vector<std::size_t>{4, 4, 4}));
         }},
        {{"--vanish", "4"},
         [](const run_result& r) {
             EXPECT_EQ(r.lines.size(), 4u);
             EXPECT_TRUE(bad_indices(r.lines).empty());
             EXPECT_EQ(r.rest.rfind("QELM7,5,", 0), 0u); // half of line 5, then gone
             EXPECT_GT(r.rest.size(), 60u);
             EXPECT_EQ(r.rest.find('\n'), std::string::npos);
         }},
    };
    for (const auto& m : modes) {
        SCOPED_TRACE(m.args[0]);
        run_result r = run_to_end(m.args);
        EXPECT_EQ(r.status, 0);
        m.check(r);
    }
}

TEST(sim_faults, vanished_instrument_returns_on_a_new_device_and_counts_on) {
    temp_dir dir;
    sim_process sim({"--port", "6", "--port-folder", dir.path(), "--rate", "20", "--autostart",
                     "--seed", "9", "--vanish", "4", "--return-after", "0.5", "--log",
                     dir.file("log")});
    const std::string link = dir.file("COM6");
    const std::string old_device = sim.device();
    pty_client before(old_device); // held through the outage, as a reader would
    EXPECT_EQ(before.lines_until_hangup().size(), 4u);
    EXPECT_EQ(before.rest().rfind("QELM7,5,", 0), 0u);
    char byte = 0;
    EXPECT_EQ(::read(before.fd(), &byte, 1), 0);
    EXPECT_EQ(::write(before.fd(), "P", 1), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_FALSE(link_exists(link));

    ASSERT_TRUE(sim.next_device(3s));
    EXPECT_NE(sim.device(), old_device);
    EXPECT_EQ(fs::read_symlink(link).string(), sim.device());
    // No 'P' again: the instrument never stopped, only its cable was out.
    pty_client after(sim.device());
    std::vector<std::uint32_t> counters;
    for (int i = 0; i < 3; ++i) {
        auto line = after.line();
        ASSERT_TRUE(line);
        auto l = read_sim_line(*line);
        ASSERT_TRUE(l) << *line;
        counters.push_back(l->counter);
    }
    // Half a second at 20 lines a second is about ten lines lost after line 5.
    EXPECT_GT(counters[0], 5u + 5u);
    EXPECT_EQ(counters[1], counters[0] + 1);
    EXPECT_EQ(counters[2], counters[0] + 2);
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(3s), 0);
    std::vector<std::string> left; // no link, no lock file
    for (const auto& f : fs::directory_iterator(dir.path()))
        left.push_back(f.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"log"});

    // TX only while a device was there: what the first reader got, then what
    // the second got.
    std::string tx_before, tx_after;
    std::vector<std::string> marks;
    for (const auto& e : read_log(dir.file("log"))) {
        if (e.kind == "VANISH" || e.kind == "RETURN")
            marks.push_back(e.kind);
        else if (e.kind == "TX")
            (marks.empty() ? tx_before : tx_after) += e.bytes;
        EXPECT_FALSE(e.kind == "TX" && marks.size() == 1) << "sent while away: " << e.bytes;
    }
    EXPECT_EQ(marks, (std::vector<std::string>{"VANISH", "RETURN"}));
    EXPECT_EQ(tx_before, before.everything());
    EXPECT_EQ(tx_after.rfind(after.everything(), 0), 0u);
}

TEST(sim_faults, signal_while_away_ends_the_simulator_cleanly) {
    temp_dir dir;
    sim_process sim({"--port", "6", "--port-folder", dir.path(), "--rate", "200", "--autostart",
                     "--vanish", "0", "--return-after", "30"});
    pty_client client(sim.device());
    client.lines_until_hangup();
    sim.signal(SIGINT);
    EXPECT_EQ(sim.wait(3s), 0);
    EXPECT_TRUE(fs::is_empty(dir.path())); // no link, no lock file
}

TEST(sim_faults, silent_instrument_stops_sending_but_still_listens) {
    temp_dir dir;
    sim_process sim({"--port", "2", "--port-folder", dir.path(), "--rate", "200", "--autostart",
                     "--silent", "5", "--log", dir.file("log")});
    pty_client client(sim.device());
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(client.line());
    EXPECT_FALSE(client.line(500ms));
    client.send("Pg");
    EXPECT_FALSE(client.line(300ms));
    EXPECT_TRUE(sim.running());
    EXPECT_EQ(received_bytes(dir.file("log")), "Pg");
    EXPECT_EQ(sent_lines(dir.file("log")).size(), 5u);
}

TEST(sim_faults, replays_raw_and_time_stamped_record_files) {
    // Record files hold each line as received: its CR kept, no LF of its own.
    const std::vector<std::string> lines = {
        "QELM12,1,2.5e-05,1.0e+03,1500,5.00,800,0.400,0,0,1,2,3",
        "QELM12,oops",
        "QELM12,3,2.5e-05,1.2e+03,0,0.00,0,0.400,0,0,4,5,6",
    };
    std::string raw, stamped;
    for (const auto& l : lines) {
        raw += l + "\r";
        stamped += "2008-01-01,09:05:03," + l + "\r";
    }
    struct replay_case {
        std::string text;
        std::vector<std::string> extra;
        std::vector<int> expected; // indices into lines
    };
    const std::vector<replay_case> cases = {
        {raw, {"--lines", "3"}, {0, 1, 2}},
        {stamped, {"--lines", "3"}, {0, 1, 2}},
        {"\n" + raw + "\r\n\r\n", {"--lines", "3"}, {0, 1, 2}}, // hand-made line ends
        {raw, {"--lines", "7", "--loop"}, {0, 1, 2, 0, 1, 2, 0}},
        {raw, {"--vanish", "4", "--loop"}, {0, 1, 2, 0}},
    };
    for (const auto& c : cases) {
        temp_dir files;
        std::ofstream(files.file("rec.dat"), std::ios::binary) << c.text;
        auto args = c.extra;
        args.insert(args.end(), {"--replay", files.file("rec.dat")});
        run_result r = run_to_end(args);
        std::vector<std::string> expected;
        for (int i : c.expected)
            expected.push_back(lines[std::size_t(i)] + "\r");
        EXPECT_EQ(r.lines, expected);
        EXPECT_EQ(r.status, 0);
    }
}

TEST(sim_faults, refuses_bad_arguments_and_empty_replays) {
    temp_dir dir;
    std::ofstream(dir.file("empty.dat")) << "\r\n\r\n";
    const std::vector<std::pair<std::vector<std::string>, int>> cases = {
        {{"--rate", "0"}, 2},
        {{"--rate", "fast"}, 2},
        {{"--port", "0"}, 2},
        {{"--lines"}, 2},
        {{"--frobnicate"}, 2},
        {{"--loop"}, 2},
        {{"--return-after", "1"}, 2},
        {{"--vanish", "3", "--return-after", "-1"}, 2},
        {{"--replay", dir.file("empty.dat")}, 1},
        {{"--replay", dir.file("missing.dat")}, 1},
    };
    for (const auto& [args, status] : cases) {
        auto all = args;
        all.insert(all.end(), {"--port-folder", dir.path()});
        try {
            sim_process sim(all, 2s);
            ADD_FAILURE() << args[0] << " started";
        } catch (const std::runtime_error& e) {
            EXPECT_THAT(e.what(), testing::HasSubstr("(exit status " + std::to_string(status)))
                << args[0];
        }
    }
    EXPECT_FALSE(link_exists(dir.file("COM2")));
}

TEST(sim_link, removed_at_the_end_whatever_the_signal) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        temp_dir dir;
        sim_process sim({"--port", "4", "--port-folder", dir.path()});
        ASSERT_TRUE(link_exists(dir.file("COM4")));
        sim.signal(sig);
        EXPECT_EQ(sim.wait(3s), 0);
        EXPECT_TRUE(fs::is_empty(dir.path())); // no link, no lock file
    }
}

TEST(sim_link, replaces_a_dead_simulators_link_and_keeps_others) {
    temp_dir dir;
    const std::string link = dir.file("COM4");
    {
        fs::create_symlink("/dev/pts/9999", link);
        sim_process sim({"--port", "4", "--port-folder", dir.path()});
        EXPECT_EQ(fs::read_symlink(link).string(), sim.device());
    }
    {
        // Killed outright: its link stays behind and the next takes it over.
        auto killed = std::make_unique<sim_process>(
            std::vector<std::string>{"--port", "4", "--port-folder", dir.path()});
        killed->signal(SIGKILL);
        EXPECT_EQ(killed->wait(3s), 128 + SIGKILL);
        ASSERT_TRUE(link_exists(link));
        sim_process sim({"--port", "4", "--port-folder", dir.path()});
        EXPECT_EQ(fs::read_symlink(link).string(), sim.device());
        // A live simulator's link is not taken.
        EXPECT_THROW(sim_process({"--port", "4", "--port-folder", dir.path()}, 2s),
                     std::runtime_error);
        EXPECT_EQ(fs::read_symlink(link).string(), sim.device());
    }
    EXPECT_FALSE(link_exists(link));
    // A user's own link to an adapter, or a file of that name, is left alone.
    fs::create_symlink("/dev/ttyUSB0", link);
    std::ofstream(dir.file("COM5")) << "mine";
    for (const char* port : {"4", "5"})
        EXPECT_THROW(sim_process({"--port", port, "--port-folder", dir.path()}, 2s),
                     std::runtime_error);
    EXPECT_EQ(fs::read_symlink(link).string(), "/dev/ttyUSB0");
    EXPECT_TRUE(fs::is_regular_file(dir.file("COM5")));
}

#ifdef TIOCGEXCL
TEST(sim_link, exclusive_open_is_lifted_when_the_program_lets_go) {
    // The simulator keeps the pty alive between connections, so the flag an
    // exclusive open sets would outlive it and refuse the next connection to
    // anyone but root.
    temp_dir dir;
    sim_process sim({"--port", "4", "--port-folder", dir.path()});
    {
        pty_client first(sim.device());
        ASSERT_EQ(::ioctl(first.fd(), TIOCEXCL), 0);
        int on = 0;
        ASSERT_EQ(::ioctl(first.fd(), TIOCGEXCL, &on), 0);
        ASSERT_EQ(on, 1);
    }
    int on = 1;
    for (int i = 0; i < 100 && on; ++i) {
        std::this_thread::sleep_for(10ms);
        pty_client next(sim.device());
        ASSERT_EQ(::ioctl(next.fd(), TIOCGEXCL, &on), 0);
    }
    EXPECT_EQ(on, 0);
}
#endif
