// What the simulated instrument sends, checked without the program's parser,
// and its log against what really passed through the device.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>

#include "data_line.h"
#include "pty_client.h"
#include "sim_log.h"
#include "sim_process.h"

using namespace qelm_sim;
using namespace std::chrono_literals;

TEST(sim_output, hundreds_of_lines_follow_the_format_and_then_it_exits) {
    temp_dir dir;
    sim_process sim({"--port", "5", "--port-folder", dir.path(), "--rate", "500", "--autostart",
                     "--lines", "300", "--seed", "11"});
    EXPECT_EQ(sim.port(), 5);
    EXPECT_EQ(sim.link(), dir.file("COM5"));
    EXPECT_EQ(std::filesystem::read_symlink(sim.link()).string(), sim.device());

    pty_client client(dir.file("COM5"));
    auto lines = client.lines_until_hangup();
    ASSERT_EQ(lines.size(), 300u);
    EXPECT_TRUE(client.rest().empty());

    double sum = 0, sum_sq = 0;
    long n = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1) + ": " + lines[i]);
        auto l = read_sim_line(lines[i]);
        ASSERT_TRUE(l);
        EXPECT_EQ(l->serial, 7);
        EXPECT_EQ(l->counter, i + 1);
        EXPECT_NEAR(double(l->pump_rpm), 1500, 50);
        EXPECT_GT(l->flow_rpm, 0u);
        EXPECT_NEAR(l->pmt_voltage, 5.0, 0.1);
        EXPECT_GT(l->hv_control, 0.0);
        EXPECT_LE(l->hv_control, 0.71);
        EXPECT_GT(l->cal_coeff, 0.0);
        double line_sum = 0;
        for (long c : l->counts) {
            EXPECT_GE(c, 0);
            EXPECT_LT(c, 100);
            line_sum += double(c);
            sum += double(c);
            sum_sq += double(c) * double(c);
            ++n;
        }
        // The instrument's own bioluminescence: its counts turned into photons
        // per second, printed to five digits.
        EXPECT_NEAR(l->ave_bl, line_sum * l->cal_coeff, 1e-3 * l->ave_bl);
        EXPECT_GE(l->ave_bl, 1.0);
        EXPECT_LE(l->ave_bl, 1e7);
    }
    double mean = sum / double(n);
    double variance = sum_sq / double(n) - mean * mean;
    EXPECT_NEAR(mean, 20, 1);                // step 1
    EXPECT_NEAR(variance, mean, 0.2 * mean); // Poisson

    EXPECT_EQ(sim.wait(5s), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.file("COM5"))));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(sim_output, log_holds_exactly_the_bytes_that_passed) {
    temp_dir dir;
    const std::string log = dir.file("sim.log");
    sim_process sim({"--port", "3", "--port-folder", dir.path(), "--rate", "200", "--lines", "20",
                     "--seed", "2", "--log", log, "--garbage", "3"});
    pty_client client(sim.device());
    // Every kind of byte the escaping distinguishes, then the start command.
    const std::string sent =
        std::string("a \\\r\n\x01\x1f\x7f\x80\xff", 10) + std::string(1, '\0') + "P";
    client.send(sent);
    auto lines = client.lines_until_hangup();
    ASSERT_EQ(sim.wait(5s), 0);

    EXPECT_EQ(received_bytes(log), sent);
    EXPECT_EQ(sent_bytes(log), client.everything());
    EXPECT_EQ(sent_lines(log), lines);
    EXPECT_EQ(lines.size(), 20u);

    // The file itself: one entry per line, times rising, bytes escaped.
    std::ifstream in(log);
    std::string entry, raw;
    double last = 0;
    std::vector<std::string> rx;
    const std::regex shape(R"((TX|RX|OPEN|CLOSE) ([0-9]+\.[0-9]{6})( [^\r\n]*)?)");
    while (std::getline(in, entry)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(entry, m, shape)) << entry;
        double t = std::stod(m[2]);
        EXPECT_GE(t, last);
        last = t;
        if (m[1] == "RX")
            rx.push_back(m[3].str().substr(1));
        for (char c : entry)
            EXPECT_TRUE(c >= 0x20 && c < 0x7f) << entry;
    }
    const std::vector<std::string> escaped = {"a",     " ",     "\\\\",  "\\r",   "\\n",   "\\x01",
                                              "\\x1f", "\\x7f", "\\x80", "\\xff", "\\x00", "P"};
    EXPECT_EQ(rx, escaped);
}

TEST(sim_output, unescape_rejects_broken_escapes) {
    EXPECT_EQ(unescape("QELM\\\\x\\r\\n\\x00\\xFf"), std::string("QELM\\x\r\n\0\xff", 10));
    for (const char* bad : {"\\", "ab\\q", "\\x", "\\x4", "\\xg0"})
        EXPECT_THROW(unescape(bad), std::invalid_argument) << bad;
}
