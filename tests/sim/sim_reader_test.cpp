// The program's reader against the simulated instrument, through its pty and
// the port folder: the lines it takes are the lines the simulator sent.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "data_line.h"
#include "link/port_names.h"
#include "link/qelm_reader.h"
#include "sim_log.h"
#include "sim_process.h"

using namespace qelm_sim;
using namespace std::chrono_literals;

namespace {

// Polls as the main window's fast timer does, until done() or the limit.
bool poll_until(qelm_reader& reader, const std::function<bool()>& done,
                std::chrono::milliseconds limit = 10s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(10ms);
        reader.poll();
    }
    return true;
}

class sim_reader : public testing::Test {
protected:
    void SetUp() override {
        qelm_reader::set_synced(false);
        set_port_folder(dir.path());
    }
    temp_dir dir;
    std::string log = dir.file("sim.log");
};

} // namespace

TEST_F(sim_reader, takes_the_simulators_lines_as_records) {
    sim_process sim({"--port", "8", "--port-folder", dir.path(), "--rate", "50", "--lines", "40",
                     "--seed", "4", "--log", log});
    qelm_reader reader;
    reader.connect(8);
    ASSERT_TRUE(reader.port_open());
    reader.open_record(dir.file("rec.dat"), 0);
    // The probe: 'P' until the first byte comes.
    ASSERT_TRUE(poll_until(reader, [&] {
        if (reader.rx_byte_count() == 0)
            reader.send_command(command::probe);
        return reader.rx_byte_count() > 0;
    }));
    ASSERT_TRUE(poll_until(reader, [&] { return reader.port_lost(); }));
    reader.write_records();
    reader.close_record();
    EXPECT_EQ(sim.wait(5s), 0);

    const auto sent = sent_lines(log);
    ASSERT_EQ(sent.size(), 40u);
    const std::string rx = received_bytes(log);
    EXPECT_EQ(rx.find_first_not_of('P'), std::string::npos) << rx;

    // The first line goes to finding the start and the last waits for a line
    // feed that never comes: lines 2 to 39 are records, in order.
    EXPECT_EQ(reader.serial_number(), 7);
    EXPECT_EQ(reader.bad_lines(), 0);
    ASSERT_EQ(reader.record_count(), 38u);
    std::string expected_file;
    for (std::size_t r = 0; r < reader.record_count(); ++r) {
        SCOPED_TRACE(r);
        const std::string& text = sent[r + 1];
        EXPECT_EQ(reader.line(r), text);
        expected_file += text;
        auto l = read_sim_line(text);
        ASSERT_TRUE(l);
        EXPECT_EQ(reader.counter(r), l->counter);
        EXPECT_DOUBLE_EQ(reader.cal_coeff(r), l->cal_coeff);
        EXPECT_DOUBLE_EQ(reader.ave_bl(r), l->ave_bl);
        EXPECT_EQ(reader.pump_rpm(r), l->pump_rpm);
        EXPECT_DOUBLE_EQ(reader.pmt_voltage(r), l->pmt_voltage);
        EXPECT_EQ(reader.flow_rpm(r), l->flow_rpm);
        EXPECT_DOUBLE_EQ(reader.hv_control(r), l->hv_control);
        for (std::size_t j = 0; j < 60; ++j)
            EXPECT_EQ(reader.raw_count(r, j), double(l->counts[j]));
    }
    // The record file holds the lines as sent, CR kept, nothing added.
    std::ifstream in(dir.file("rec.dat"), std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(file, expected_file);
}

TEST_F(sim_reader, commands_from_the_reader_reach_the_instrument) {
    sim_process sim({"--port", "8", "--port-folder", dir.path(), "--rate", "20", "--autostart",
                     "--seed", "6", "--log", log});
    qelm_reader reader;
    reader.connect(8);
    ASSERT_TRUE(poll_until(reader, [&] { return reader.record_count() >= 2; }));
    const std::size_t r0 = reader.record_count();
    EXPECT_GT(reader.pump_rpm(r0 - 1), 0u);

    // Pump off, PMT off, then the calibration's selection of step 3 and PMT on.
    for (command code : {command::pump_off, command::pmt_off})
        reader.send_command(code);
    ASSERT_TRUE(poll_until(reader, [&] { return reader.record_count() >= r0 + 3; }));
    std::size_t r = reader.record_count() - 1;
    EXPECT_EQ(reader.pump_rpm(r), 0u);
    EXPECT_EQ(reader.pmt_voltage(r), 0.0);

    for (command code :
         {command::letter_L, command::letter_M, command::step_3, command::enter, command::pmt_on})
        reader.send_command(code);
    const std::size_t r1 = reader.record_count();
    ASSERT_TRUE(poll_until(reader, [&] { return reader.record_count() >= r1 + 3; }));
    r = reader.record_count() - 1;
    double mean = 0;
    for (std::size_t j = 0; j < 60; ++j)
        mean += reader.raw_count(r, j) / 60;
    EXPECT_NEAR(mean, 180, 20);
    EXPECT_GT(reader.pmt_voltage(r), 4.9);

    EXPECT_EQ(received_bytes(log), "siLM3\ro");
}

TEST_F(sim_reader, counts_bad_lines_and_sees_the_instrument_vanish) {
    sim_process sim({"--port", "8", "--port-folder", dir.path(), "--rate", "100", "--autostart",
                     "--bad-lines", "7", "--vanish", "30", "--seed", "7", "--log", log});
    qelm_reader reader;
    reader.connect(8);
    ASSERT_TRUE(poll_until(reader, [&] { return reader.port_lost(); }));
    EXPECT_EQ(sim.wait(5s), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.file("COM8"))));

    // Lines 7, 14, 21 and 28 are bad; each costs the next line to find the
    // start again. Line 1 goes to the first start, and line 30 waits for the
    // line feed of a line that vanished half-way.
    std::vector<std::uint32_t> expected;
    for (std::uint32_t k = 2; k <= 29; ++k)
        if (k % 7 != 0 && k % 7 != 1)
            expected.push_back(k);
    std::vector<std::uint32_t> counters;
    for (std::size_t r = 0; r < reader.record_count(); ++r)
        counters.push_back(reader.counter(r));
    EXPECT_EQ(counters, expected);
    EXPECT_EQ(reader.bad_lines(), 4);
    EXPECT_EQ(sent_lines(log).size(), 30u);
}
