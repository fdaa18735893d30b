#include "link/clock.h"
#include "link/link_error.h"
#include "link/port_names.h"
#include "link/qelm_reader.h"

#include "data_lines.h"
#include "fake_instrument.h"
#include "literal_reader.h"
#include "sscanf_parser.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

void expect_same(const qelm_reader& r, const literal_reader& m) {
    ASSERT_EQ(r.rx_byte_count(), m.rx.size());
    ASSERT_EQ(r.line_count(), m.lines.size());
    ASSERT_EQ(r.record_count(), m.records.size());
    // The newest record's values, counts included, exactly as parsed (the
    // serial number is the reader's latest, as in the record).
    if (!m.records.empty()) {
        data_record last = m.records.back();
        ASSERT_TRUE(same_result(r.record(r.record_count() - 1), last));
    }
    ASSERT_EQ(r.bad_lines(), m.bad);
    ASSERT_EQ(r.serial_number(), m.serial);
    ASSERT_EQ(qelm_reader::synced(), m.synced);
    for (std::size_t i = r.first_held_line(); i < r.line_count(); ++i)
        ASSERT_EQ(r.line(i), m.lines[i].substr(0, max_line_length)) << "line " << i;
}

class reader : public ::testing::Test {
protected:
    void SetUp() override {
        qelm_reader::set_synced(false);
        marev::set_clock(&clock);
    }
    void TearDown() override { marev::set_clock(nullptr); }

    // A reader just connected (bad-line count -1), fed directly.
    std::unique_ptr<qelm_reader> connected() {
        auto r = std::make_unique<qelm_reader>();
        r->connect(inst.port());
        return r;
    }

    marev::fake_clock clock{1'700'000'000};
    fake_instrument inst;
};

// Random streams of good lines, bad lines, fragments, bare line ends and
// overlong lines, cut into random chunks, with clears in between: the reader
// must agree with the literal line step after every chunk.
TEST_F(reader, agrees_with_the_literal_line_step_on_random_streams) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        qelm_reader::set_synced(round % 3 == 0);
        auto reader = connected();
        qelm_reader& r = *reader;
        literal_reader m;
        m.synced = qelm_reader::synced();
        std::string stream;
        for (int i = 0; i < 300; ++i) {
            // Counts as the PMT gives them, and ones that need full doubles.
            const double levels[] = {12, 0, 65535, 65536, 2.5, -3};
            const std::string good = data_line({.serial = int(rng() % 20),
                                                .counter = unsigned(i),
                                                .count = levels[rng() % std::size(levels)],
                                                .same_counts = true}) +
                                     "\n";
            switch (rng() % 9) {
            case 0:
                stream += good.substr(rng() % good.size());
                break;
            case 1:
                stream += "QELMjunk\r\n";
                break;
            case 2:
                stream += "\r\n";
                break;
            case 3:
                stream += "\n";
                break;
            case 4:
                stream += std::string(1 + rng() % 3, 'x') + "\n";
                break;
            case 5:
                stream += std::string(4000 + rng() % 3000, 'z') + "\r\n";
                break;
            default:
                stream += good;
            }
        }
        std::size_t at = 0;
        while (at < stream.size()) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 700, stream.size() - at);
            r.receive(std::string_view(stream).substr(at, n));
            m.feed(std::string_view(stream).substr(at, n));
            at += n;
            if (rng() % 50 == 0) {
                r.clear();
                m.clear();
            }
            ASSERT_NO_FATAL_FAILURE(expect_same(r, m)) << "round " << round << " at " << at;
        }
    }
}

TEST_F(reader, tail_of_a_line_then_lines_synchronise_one_behind) {
    auto reader = connected();
    qelm_reader& r = *reader;
    r.receive("42\r\n");
    const std::string l1 = data_line({.counter = 1}), l2 = data_line({.counter = 2}),
                      l3 = data_line({.counter = 3});
    r.receive(l1 + "\n");
    EXPECT_EQ(r.record_count(), 0u);
    r.receive(l2 + "\n");
    ASSERT_EQ(r.record_count(), 1u);
    EXPECT_EQ(r.counter(0), 1u);
    EXPECT_EQ(r.bad_lines(), 0);
    r.receive(l3 + "\n");
    EXPECT_EQ(r.record_count(), 2u);
    EXPECT_EQ(r.line(0), l1);
}

TEST_F(reader, bare_line_end_at_the_start_takes_each_line_at_its_own_newline) {
    auto reader = connected();
    qelm_reader& r = *reader;
    r.receive("\r\n");
    EXPECT_TRUE(qelm_reader::synced());
    r.receive(data_line({.counter = 1}) + "\n");
    EXPECT_EQ(r.record_count(), 1u);
    r.receive(data_line({.counter = 2}) + "\n");
    EXPECT_EQ(r.record_count(), 2u);
    EXPECT_EQ(r.bad_lines(), 0);
}

TEST_F(reader, bad_line_costs_the_next_line_and_counts_once) {
    auto reader = connected();
    qelm_reader& r = *reader;
    r.receive("\r\n");
    r.receive(data_line({.counter = 1}) + "\n"); // G1
    r.receive("QELM7,bad\r\n");
    r.receive(data_line({.counter = 2}) + "\n"); // G2: serves to synchronise again
    r.receive(data_line({.counter = 3}) + "\n"); // G3
    r.receive(data_line({.counter = 4}) + "\n");
    ASSERT_EQ(r.record_count(), 2u);
    EXPECT_EQ(r.counter(0), 1u);
    EXPECT_EQ(r.counter(1), 3u);
    EXPECT_EQ(r.line(1), "QELM7,bad\r");
    EXPECT_EQ(r.bad_lines(), 1);
}

TEST_F(reader, clear_while_synchronised_resynchronises_once) {
    auto reader = connected();
    qelm_reader& r = *reader;
    r.receive("\r\n" + data_line({.counter = 1}) + "\n");
    r.receive(data_line({.counter = 2}).substr(0, 30));
    r.clear();
    EXPECT_EQ(r.record_count(), 0u);
    EXPECT_EQ(r.bad_lines(), 0);
    EXPECT_EQ(r.rx_byte_count(), 0u);
    r.receive(data_line({.counter = 2}).substr(30) + "\n");
    for (unsigned c = 3; c <= 5; ++c)
        r.receive(data_line({.counter = c}) + "\n");
    EXPECT_EQ(r.bad_lines(), 1);
    EXPECT_EQ(r.record_count(), 1u);
    EXPECT_EQ(r.time(0), clock.now());
}

TEST_F(reader, serial_number_and_callback_come_with_good_lines_only) {
    auto reader = connected();
    qelm_reader& r = *reader;
    std::vector<std::string> seen;
    r.set_line_callback([&](const std::string& l) { seen.push_back(l); });
    r.receive("\r\n");
    EXPECT_EQ(r.serial_number(), 0);
    r.receive("QELMjunk\r\n");
    EXPECT_EQ(r.serial_number(), 0);
    r.receive(data_line({.serial = 9, .counter = 1}) + "\n" +
              data_line({.serial = 9, .counter = 2}) + "\n" +
              data_line({.serial = 9, .counter = 3}) + "\n");
    EXPECT_EQ(r.serial_number(), 9);
    // The junk line costs the line after it; the line after that is taken
    // when the third newline arrives.
    EXPECT_EQ(seen, std::vector<std::string>{data_line({.serial = 9, .counter = 2})});
}

// A stream that never ends its line, or lines far longer than any the
// instrument sends, must not grow memory; the good lines after them count.
TEST_F(reader, endless_and_overlong_lines_keep_memory_bounded) {
    for (bool synced : {false, true}) {
        qelm_reader::set_synced(synced);
        auto reader = connected();
        qelm_reader& r = *reader;
        const std::string junk(64 * 1024, 'j');
        for (int i = 0; i < 16; ++i) // a megabyte without a newline
            r.receive(junk);
        EXPECT_LT(r.memory_bytes(), 64u * 1024);
        r.receive("\r\n" + std::string(10'000, 'k') + "\r\n");
        EXPECT_LT(r.memory_bytes(), 64u * 1024);
        for (unsigned c = 1; c <= 5; ++c)
            r.receive(data_line({.counter = c}) + "\n");
        EXPECT_GE(r.record_count(), 2u);
        EXPECT_EQ(r.counter(r.record_count() - 1), 4u);
        EXPECT_GE(r.bad_lines(), 0);
        EXPECT_EQ(r.rx_byte_count(),
                  16 * junk.size() + 10'004 + 5 * (data_line({.counter = 1}).size() + 1));
    }
}

// Over a long run only the latest records keep their values; the indices of
// the others, the record count and the first record's time stay.
TEST_F(reader, old_records_give_their_values_up_and_keep_their_indices) {
    auto reader = connected();
    qelm_reader& r = *reader;
    const std::int64_t start = clock.now();
    r.receive("\r\n");
    const unsigned total = unsigned(qelm_reader::kept_records) + 5000;
    for (unsigned c = 1; c <= total; ++c) {
        // Now and then counts that do not fit 16 bits, kept the other way.
        r.receive(data_line({.counter = c,
                             .count = c % 1000 == 0 ? 70000.5 : double(c % 600),
                             .same_counts = true}) +
                  "\n");
        clock.advance(1);
    }
    const std::size_t count = r.record_count();
    ASSERT_EQ(count, total);
    const std::size_t first = r.first_held_record();
    EXPECT_GT(first, 0u);
    EXPECT_LE(first, count - qelm_reader::kept_records);
    EXPECT_THROW(r.counter(first - 1), std::out_of_range);
    EXPECT_THROW(r.raw_count(first - 1, 0), std::out_of_range);
    EXPECT_THROW(r.record(count), std::out_of_range);
    EXPECT_EQ(r.time(0), start);
    for (std::size_t i : {first, count - qelm_reader::kept_records, count - 1}) {
        const unsigned c = unsigned(i) + 1;
        EXPECT_EQ(r.counter(i), c) << i;
        EXPECT_EQ(r.time(i), start + std::int64_t(i)) << i;
        EXPECT_EQ(r.raw_count(i, 59), c % 1000 == 0 ? 70000.5 : double(c % 600)) << i;
    }
    const std::size_t wide = count / 1000 * 1000 - 1; // counts kept as doubles
    EXPECT_EQ(r.raw_count(wide, 7), 70000.5);
    EXPECT_EQ(r.raw_count(wide + 1, 7), double((wide + 2) % 600));
}

// A reconnection while the class-wide flag is still set takes the first
// fragment as a line at once.
TEST_F(reader, reconnect_while_synchronised) {
    {
        qelm_reader first;
        first.connect(inst.port());
        inst.send("\r\n" + data_line({.counter = 1}) + "\n");
        first.poll();
        ASSERT_TRUE(qelm_reader::synced());
        first.disconnect();
    }
    qelm_reader r;
    r.connect(inst.port());
    EXPECT_EQ(r.bad_lines(), -1);
    inst.send("M7,5,1\r\n" + data_line({.counter = 2}) + "\n" + data_line({.counter = 3}) + "\n" +
              data_line({.counter = 4}) + "\n");
    r.poll();
    ASSERT_EQ(r.record_count(), 1u);
    EXPECT_EQ(r.counter(0), 3u);
    EXPECT_EQ(r.bad_lines(), 0);
    EXPECT_EQ(r.line(0), "M7,5,1\r");

    // A first piece that is a whole good line needs no synchronisation.
    r.disconnect();
    qelm_reader again;
    again.connect(inst.port());
    inst.send(data_line({.counter = 5}) + "\n");
    again.poll();
    EXPECT_EQ(again.record_count(), 1u);
    EXPECT_EQ(again.bad_lines(), -1);
}

TEST_F(reader, polls_the_port_and_takes_what_it_holds) {
    qelm_reader r;
    r.connect(inst.port());
    EXPECT_TRUE(r.port_open());
    r.poll();
    EXPECT_EQ(r.rx_byte_count(), 0u);
    EXPECT_EQ(r.line_count(), 0u);
    inst.send("\r\n" + data_line({.counter = 1}) + "\n");
    r.poll();
    EXPECT_EQ(r.record_count(), 1u);
    EXPECT_FALSE(r.port_lost());
    r.disconnect();
    EXPECT_FALSE(r.port_open());
    EXPECT_EQ(r.record_count(), 1u); // histories stay readable
}

TEST_F(reader, connect_to_a_missing_port_names_it) {
    temp_dir empty;
    set_port_folder(empty.path().string());
    qelm_reader r;
    try {
        r.connect(5);
        FAIL() << "connected to nothing";
    } catch (const link_error& e) {
        EXPECT_STREQ(e.what(), "Could Not Open COM5.");
#ifdef _WIN32
        EXPECT_NE(e.detail().find("\\\\.\\COM5"), std::string::npos) << e.detail();
#else
        EXPECT_NE(e.detail().find("/dev/ttyS4"), std::string::npos) << e.detail();
#endif
    }
    EXPECT_FALSE(r.port_open());
    r.poll(); // harmless on a port that is not open
    EXPECT_NO_THROW(r.disconnect());
}

TEST_F(reader, vanished_device_is_reported_lost) {
    qelm_reader r;
    r.connect(inst.port());
    r.poll();
    EXPECT_FALSE(r.port_lost()); // silence is not loss
    inst.vanish();
    r.poll();
    EXPECT_TRUE(r.port_lost());
}

TEST_F(reader, at_a_loss_the_line_held_back_is_taken_and_half_a_line_is_not) {
    temp_dir dir;
    qelm_reader r;
    r.connect(inst.port());
    r.open_record(dir.file("lost.dat"), 0);
    // Found on the first line's newline (the first line is dropped): from
    // then on a line behind.
    const std::string l1 = data_line({.counter = 1}), l2 = data_line({.counter = 2}),
                      l3 = data_line({.counter = 3});
    inst.send(l1 + "\n" + l2 + "\n" + l3 + "\n" + l1.substr(0, 30));
    r.poll();
    ASSERT_EQ(r.record_count(), 1u);
    EXPECT_EQ(r.counter(0), 2u);
    inst.vanish();
    r.poll();
    EXPECT_TRUE(r.port_lost());
    EXPECT_EQ(r.record_count(), 2u);
    EXPECT_EQ(r.counter(1), 3u);
    r.poll();
    EXPECT_EQ(r.record_count(), 2u);
    r.write_records();
    r.close_record();
    EXPECT_EQ(read_file(dir.file("lost.dat")), l2 + l3);
}

struct command_case {
    unsigned code;
    const char* bytes; // nullptr: a code without a byte
};

TEST_F(reader, commands_send_one_byte_each) {
    qelm_reader r;
    r.connect(inst.port());
    const command_case cases[] = {
        {0, "s"},      {1, "g"},      {2, "i"},       {3, "o"},  {4, "O"},  {5, "P"},
        {6, "m"},      {7, "n"},      {8, nullptr},   {9, "1"},  {10, "2"}, {11, "3"},
        {12, nullptr}, {13, nullptr}, {14, nullptr},  {15, "M"}, {16, "L"}, {17, "?"},
        {18, "\r"},    {19, nullptr}, {255, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const auto calls = r.port()->write_calls();
        if (!c.bytes) {
            try {
                r.send_command(command(c.code));
                ADD_FAILURE() << "no error";
            } catch (const link_error& e) {
                EXPECT_STREQ(e.what(), "Bad command for QELM");
            }
            EXPECT_EQ(inst.received(), "");
            EXPECT_EQ(r.port()->write_calls(), calls);
        } else {
            r.send_command(command(c.code));
            EXPECT_EQ(inst.received(), c.bytes);
            EXPECT_EQ(r.port()->write_calls(), calls + 1);
        }
    }
    const auto calls = r.port()->write_calls();
    r.send_text("abc");
    EXPECT_EQ(inst.received(), "abc");
    EXPECT_EQ(r.port()->write_calls(), calls + 3);
    r.send_text("");
    EXPECT_EQ(r.port()->write_calls(), calls + 3);

    r.disconnect();
    EXPECT_NO_THROW(r.send_command(command::pump_on));
    EXPECT_NO_THROW(r.send_text("x"));
    EXPECT_EQ(inst.received(), "");
    qelm_reader never_connected;
    EXPECT_NO_THROW(never_connected.send_command(command::pump_on));
}

} // namespace

// A recorder without a timer: it opens the device by its path, sleeps in the
// port's wait until bytes or a hang-up come, and forgets the values it does
// not show without losing a line for the file.
TEST_F(reader, waits_on_a_device_opened_by_path_and_records_without_keeping_values) {
    temp_dir out;
    qelm_reader r;
    r.connect_device(inst.device());
    ASSERT_TRUE(r.port_open());
    EXPECT_EQ(r.port()->device(), inst.device());
    EXPECT_FALSE(r.wait_for_input(20)); // silence: the time-out
    r.open_record(out.file("rec.dat"), 0);
    std::string expected;
    for (unsigned n = 1; n <= 4; ++n) {
        inst.send(data_line({.counter = n}) + "\n");
        EXPECT_TRUE(r.wait_for_input(5000));
        r.poll();
        r.write_records();
        r.clear_records();
        EXPECT_EQ(r.record_count(), 0u);
        if (n >= 3) // the first line finds the start; each is taken at the next line end
            expected += data_line({.counter = n - 1});
    }
    EXPECT_EQ(r.line_count(), 2u);
    EXPECT_EQ(r.serial_number(), 7);
    inst.vanish();
    EXPECT_TRUE(r.wait_for_input(5000)); // a hang-up ends the wait too
    r.poll();
    EXPECT_TRUE(r.port_lost());
    r.close_record();
    EXPECT_EQ(read_file(out.file("rec.dat")), expected);
}
