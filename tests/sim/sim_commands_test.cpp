// The instrument's commands change what it sends within the next line or two.

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "data_line.h"
#include "pty_client.h"
#include "sim_log.h"
#include "sim_process.h"

using namespace qelm_sim;
using namespace std::chrono_literals;

namespace {

struct running_sim {
    temp_dir dir;
    sim_process sim{
        {"--port", "2", "--port-folder", dir.path(), "--rate", "20", "--seed", "5", "--autostart"}};
    pty_client client{sim.device()};

    // Sends the bytes one write each, a little apart as the program's queue
    // sends them, and returns the second complete line after the last: the
    // first may have been made before the command arrived.
    sim_line after(const std::string& bytes) {
        for (char b : bytes) {
            client.send(std::string(1, b));
            std::this_thread::sleep_for(5ms);
        }
        client.skip_to_next_line();
        auto text = client.line();
        if (!text)
            throw std::runtime_error("no line after the command");
        auto l = read_sim_line(*text);
        if (!l)
            throw std::runtime_error("bad line after the command: " + *text);
        return *l;
    }
};

} // namespace

TEST(sim_commands, sends_nothing_before_P_then_a_line_a_tick) {
    temp_dir dir;
    sim_process sim({"--port", "2", "--port-folder", dir.path(), "--rate", "20"});
    pty_client client(sim.device());
    EXPECT_FALSE(client.line(400ms));
    client.send("sgio?Onm\r123LM"); // every other command
    EXPECT_FALSE(client.line(400ms));
    client.send("P");
    auto first = client.line(1s);
    ASSERT_TRUE(first);
    ASSERT_TRUE(read_sim_line(*first));
    client.send("P"); // a second 'P' changes nothing
    auto second = client.line(1s);
    ASSERT_TRUE(second && read_sim_line(*second));
    EXPECT_EQ(read_sim_line(*second)->counter, read_sim_line(*first)->counter + 1);
}

TEST(sim_commands, autostart_sends_from_the_first_reader_on) {
    temp_dir dir;
    const std::string log = dir.file("log");
    sim_process sim(
        {"--port", "2", "--port-folder", dir.path(), "--rate", "100", "--autostart", "--log", log});
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(sent_bytes(log).empty());
    pty_client client(sim.device());
    // A reader that discards what waited in the port while it set up.
    ::tcflush(client.fd(), TCIFLUSH);
    auto first = client.line();
    ASSERT_TRUE(first);
    auto l = read_sim_line(*first);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->counter, 1u);
}

TEST(sim_commands, pump_pmt_and_hv_step_show_in_the_lines) {
    running_sim s;
    struct step {
        const char* bytes;
        std::function<void(const sim_line&)> check;
    };
    const std::vector<step> steps = {
        {"s",
         [](const sim_line& l) {
             EXPECT_EQ(l.pump_rpm, 0u);
             EXPECT_EQ(l.flow_rpm, 0u);
         }},
        {"g", [](const sim_line& l) { EXPECT_NEAR(double(l.pump_rpm), 1500, 50); }},
        {"i",
         [](const sim_line& l) {
             EXPECT_EQ(l.pmt_voltage, 0.0);
             EXPECT_LT(l.mean(), 1.0);
             EXPECT_GT(l.hv_control, 0.0); // no control-voltage warning while off
         }},
        {"o",
         [](const sim_line& l) {
             EXPECT_NEAR(l.pmt_voltage, 5.0, 0.1);
             EXPECT_NEAR(l.mean(), 20, 6);
         }},
        // The calibration's sequence for a step, and its end.
        {"LM2\rPno", [](const sim_line& l) { EXPECT_NEAR(l.mean(), 60, 10); }},
        {"LM3\r", [](const sim_line& l) { EXPECT_NEAR(l.mean(), 180, 20); }},
        {"Oi", [](const sim_line& l) { EXPECT_LT(l.mean(), 1.0); }},
        {"mo", [](const sim_line& l) { EXPECT_NEAR(l.mean(), 180, 20); }},
        {"LM1\r",
         [](const sim_line& l) {
             EXPECT_NEAR(l.mean(), 20, 6);
             EXPECT_LE(l.hv_control, 0.71);
         }},
        // A selection counts only when whole: 'L', 'M', a digit, CR.
        {"3\r", [](const sim_line& l) { EXPECT_NEAR(l.mean(), 20, 6); }},
        {"L3\r", [](const sim_line& l) { EXPECT_NEAR(l.mean(), 20, 6); }},
        {"LM\r", [](const sim_line& l) { EXPECT_NEAR(l.mean(), 20, 6); }},
        {"LM3", [](const sim_line& l) { EXPECT_NEAR(l.mean(), 20, 6); }},
        {"\r", [](const sim_line& l) { EXPECT_NEAR(l.mean(), 180, 20); }},
    };
    double bl_step1 = 0;
    for (const auto& st : steps) {
        SCOPED_TRACE(st.bytes);
        sim_line l = s.after(st.bytes);
        st.check(l);
        if (std::string(st.bytes) == "o")
            bl_step1 = l.ave_bl;
        if (std::string(st.bytes) == "LM3\r") {
            // The step's own coefficient keeps the photon rate where it was.
            EXPECT_NEAR(l.ave_bl, bl_step1, 0.2 * bl_step1);
        }
    }
}
