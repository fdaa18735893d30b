// Faults of the line and of the program seen by the reader: bad bytes of
// every kind through a real pseudo-terminal, and a recording process killed
// outright while the simulated instrument sends.

#include "link/clock.h"
#include "link/port_names.h"
#include "link/qelm_reader.h"

#include "data_lines.h"
#include "fake_instrument.h"
#include "literal_reader.h"
#include "sim_log.h"
#include "sim_process.h"
#include "sscanf_parser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

class line_faults : public ::testing::Test {
protected:
    void SetUp() override {
        qelm_reader::set_synced(false);
        marev::set_clock(&clock);
        reader.connect(inst.port());
        pass("\r\n"); // the start of the stream
    }
    void TearDown() override { marev::set_clock(nullptr); }

    // Sends the bytes through the pty in pieces the line holds, the reader
    // polling as its tick does until it has taken each piece.
    void pass(const std::string& bytes) {
        for (std::size_t at = 0; at < bytes.size(); at += 4096) {
            const std::string piece = bytes.substr(at, 4096);
            inst.send(piece);
            const std::uint64_t want = reader.rx_byte_count() + piece.size();
            const auto deadline = steady::now() + 5s;
            while (reader.rx_byte_count() < want && steady::now() < deadline)
                reader.poll();
            ASSERT_EQ(reader.rx_byte_count(), want);
            model.feed(piece);
            peak = std::max(peak, reader.memory_bytes());
        }
    }

    void good_lines(unsigned from, unsigned to) {
        std::string s;
        for (unsigned c = from; c <= to; ++c)
            s += data_line({.counter = c}) + "\r\n";
        pass(s);
    }

    marev::fake_clock clock{1'700'000'000};
    fake_instrument inst;
    qelm_reader reader;
    literal_reader model; // the line step over unbounded lists
    std::size_t peak = 0;
};

std::string random_bytes(std::size_t n, unsigned seed, bool newlines) {
    std::mt19937 g(seed);
    std::string s(n, '\0');
    for (char& c : s) {
        c = char(g() & 0xff);
        if (!newlines && c == '\n')
            c = 'x';
    }
    return s;
}

TEST_F(line_faults, bad_bytes_cost_their_lines_and_the_next_good_lines_are_records_again) {
    const std::string good = data_line({.counter = 99});
    struct row {
        const char* name;
        std::string bytes;
    };
    const row rows[] = {
        {"garbage", random_bytes(3000, 1, true)},
        {"NUL bytes", std::string("QELM7,\0\0,1", 10) + std::string(200, '\0') + "\r\n"},
        {"NUL inside a good line", good.substr(0, 30) + '\0' + good.substr(30) + "\r\n"},
        {"high bytes", random_bytes(500, 2, false) + "\r\n" + "\xff\xfe\x80QELM7,1\r\n"},
        {"mixed line ends", good + "\r" + good + "\n\r" + good + "\r\r\n" + good + "\n\n\r\n"},
        {"a 10,000-byte line", std::string(10'000, '7') + "\r\n"},
        {"a megabyte without a newline", random_bytes(1 << 20, 3, false)},
    };
    unsigned counter = 1;
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        good_lines(counter, counter + 2);
        const int bad_before = reader.bad_lines();
        const std::size_t records_before = reader.record_count();
        const std::size_t held = reader.memory_bytes();
        peak = 0;
        pass(r.bytes);
        // Whatever came, the reader holds little more for it.
        EXPECT_LT(peak, held + 16u * 1024);
        good_lines(counter + 3, counter + 12);

        // Exactly the literal line step's lines, records and bad-line count.
        ASSERT_EQ(reader.line_count(), model.lines.size());
        ASSERT_EQ(reader.record_count(), model.records.size());
        EXPECT_EQ(reader.bad_lines(), model.bad);
        EXPECT_GT(reader.bad_lines(), bad_before);
        for (std::size_t i = reader.record_count() - 4; i < reader.record_count(); ++i)
            EXPECT_TRUE(same_result(reader.record(i), model.records[i])) << "record " << i;
        // The good lines after the fault are records again, in order, once
        // the reader has found the start of a line.
        ASSERT_GE(reader.record_count(), records_before + 3);
        for (std::size_t i = reader.record_count() - 2; i < reader.record_count(); ++i)
            EXPECT_EQ(reader.counter(i), reader.counter(i - 1) + 1);

        EXPECT_GE(reader.counter(reader.record_count() - 1), counter + 5);
        counter += 13;
    }
    EXPECT_FALSE(reader.port_lost());
}

// Runs the recorder and kills it with SIGKILL.
class recorder_process {
public:
    recorder_process(const std::string& folder, int port, const std::string& file) {
        std::vector<std::string> words{FAULT_RECORDER_PATH, folder, std::to_string(port), file};
        std::vector<char*> argv;
        for (auto& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
    }
    ~recorder_process() { kill(); }
    bool started() const { return pid_ > 0; }
    bool running() { return pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == 0; }
    // Returns the signal that ended it.
    int kill() {
        if (pid_ <= 0)
            return 0;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
        pid_ = -1;
        return WIFSIGNALED(status_) ? WTERMSIG(status_) : 0;
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
};

TEST(killed_recording, the_file_holds_every_line_but_those_of_the_last_second) {
    temp_dir dir;
    const std::string log = dir.file("sim.log"), file = dir.file("run.dat");
    qelm_sim::sim_process sim({"--port", "6", "--port-folder", dir.path(), "--autostart", "--rate",
                               "40", "--seed", "5", "--log", log});
    const auto sim_started = steady::now();

    recorder_process rec(dir.path(), 6, file);
    ASSERT_TRUE(rec.started());
    const auto deadline = steady::now() + 5s;
    std::error_code ec;
    while (std::filesystem::file_size(file, ec) == 0 && steady::now() < deadline) {
        ASSERT_TRUE(rec.running());
        std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(1500ms);
    const double killed_at = std::chrono::duration<double>(steady::now() - sim_started).count();
    ASSERT_EQ(rec.kill(), SIGKILL);
    sim.stop();

    // One log entry per line sent, each with its time.
    std::vector<qelm_sim::log_entry> sent;
    for (auto& e : qelm_sim::read_log(log))
        if (e.kind == "TX")
            sent.push_back(e);
    const std::string recorded = read_file(file);
    ASSERT_FALSE(recorded.empty());

    // The file is a run of whole lines as sent, from the start of the stream.
    std::size_t first = 0;
    auto text = [&](std::size_t i) { return sent[i].bytes.substr(0, sent[i].bytes.size() - 1); };
    while (first < sent.size() && recorded.rfind(text(first), 0) != 0)
        ++first;
    ASSERT_LE(first, 2u) << "the file does not start with one of the first lines";
    std::size_t at = 0, next = first;
    while (at < recorded.size() && next < sent.size() &&
           recorded.compare(at, text(next).size(), text(next)) == 0)
        at += text(next++).size();
    ASSERT_EQ(at, recorded.size()) << "the file holds something that was not sent";

    // Everything sent more than a second before the kill is in it (the
    // simulator's clock starts before ours, so its times are if anything later).
    std::size_t due = 0;
    while (due < sent.size() && sent[due].time < killed_at - 1.0)
        ++due;
    EXPECT_GE(next, due) << "lines missing from the file: " << due - next;
    EXPECT_GE(next - first, 40u); // about two seconds at 40 lines a second
}

} // namespace
