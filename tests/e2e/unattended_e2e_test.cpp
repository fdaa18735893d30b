// Unattended runs against the simulated instrument with the event loop
// turning: the instrument vanishes and comes back on the same COM link, and
// the recording by hand or the schedule goes on. In every case the record
// files, read in order, are the lines the simulator sent, none twice and in
// order, with lines missing only where the stream broke (the loss), a few
// at each.

#include "e2e_fixture.h"

#include "app/main_window.h"
#include "app/options_window.h"
#include "app/port_chooser.h"
#include "app/windows.h"
#include "link/clock.h"
#include "link/event_log.h"
#include "schedule/schedule_window.h"

#include "sim_log.h"
#include "sim_process.h"
#include "temp_dir.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

class unattended_e2e : public e2e {
protected:
    void SetUp() override {
        e2e::SetUp();
        std::filesystem::remove(marev::event_log_path());
    }
    void TearDown() override {
        if (F_Main && !F_Main->settings.reconnect) {
            F_Main->settings.reconnect = true;
            F_Main->settings.save();
        }
        e2e::TearDown();
        marev::set_clock(nullptr);
    }

    // A simulator on COM6 that vanishes after the given number of lines and
    // is back on the same link after the given seconds, connected and found.
    std::unique_ptr<qelm_sim::sim_process> start_sim(int vanish_after, const char* away) {
        auto sim = std::make_unique<qelm_sim::sim_process>(std::vector<std::string>{
            "--port", "6", "--port-folder", ports.path(), "--serial", "42", "--rate", "20",
            "--seed", "3", "--vanish", std::to_string(vanish_after), "--return-after", away,
            "--log", log});
        F_Main->UD_Serial->setValue(6);
        F_Main->A_Connect->trigger();
        EXPECT_TRUE(within_seconds([] { return F_Main->L_CommStatus->text() == "QELM found."; }));
        return sim;
    }

    static bool waiting() {
        return F_Main->L_CommStatus->text().startsWith(
            "Instrument lost. Waiting for it to come back...");
    }

    static void wait_records(std::size_t n) {
        const std::size_t before = F_Main->reader->record_count();
        ASSERT_TRUE(within_seconds([&] { return F_Main->reader->record_count() >= before + n; }));
    }

    // The files' entries, one file after the other, against the lines sent:
    // each entry is a line sent, later than the one before it; lines are
    // missing only at `breaks` places, at most three at each.
    void expect_lines_sent(const std::vector<std::string>& files, int breaks) {
        const std::vector<std::string> sent = qelm_sim::sent_lines(log);
        std::ptrdiff_t last = -1;
        int gaps = 0;
        std::size_t total = 0;
        for (const std::string& f : files) {
            SCOPED_TRACE(f);
            for (const std::string& entry : read_entries(f)) {
                const auto at = std::find(sent.begin() + (last + 1), sent.end(), entry);
                ASSERT_NE(at, sent.end()) << "not sent, or not after the entry before: " << entry;
                const std::ptrdiff_t i = at - sent.begin();
                if (last >= 0 && i != last + 1) {
                    ++gaps;
                    EXPECT_LE(i - last - 1, 3) << "lines lost after line " << last;
                }
                last = i;
                ++total;
            }
        }
        EXPECT_LE(gaps, breaks);
        EXPECT_GE(total, 20u);
    }

    // The last complete line sent before the instrument vanished.
    std::string last_line_before_vanish() const {
        std::string before;
        for (const auto& e : qelm_sim::read_log(log)) {
            if (e.kind == "VANISH")
                break;
            if (e.kind == "TX")
                before += e.bytes;
        }
        const std::size_t end = before.rfind('\n');
        const std::size_t begin = before.rfind('\n', end - 1);
        return before.substr(begin + 1, end - begin - 1);
    }

    // The events logged, without their time stamps.
    static std::vector<std::string> events() {
        std::vector<std::string> out;
        std::istringstream in(read_file(marev::event_log_path()));
        for (std::string l; std::getline(in, l);)
            out.push_back(l.substr(l.find(' ') + 1));
        return out;
    }

    // Where the first event starting with text stands in the log (its size
    // when none does).
    static std::ptrdiff_t event_at(const std::vector<std::string>& log, const std::string& text) {
        return std::find_if(log.begin(), log.end(),
                            [&](const std::string& e) { return e.rfind(text, 0) == 0; }) -
               log.begin();
    }

    temp_dir out;
};

TEST_F(unattended_e2e, a_recording_by_hand_goes_on_in_its_file_after_the_instrument_returns) {
    auto sim = start_sim(60, "2");
    const std::string path = out.file("by_hand.dat");
    prompts.save_answers.push_back(QString::fromStdString(path));
    QTest::keyClick(F_Main, Qt::Key_F3);
    ASSERT_TRUE(F_Main->recording);

    ASSERT_TRUE(within_seconds(waiting, 10)) << F_Main->L_CommStatus->text().toStdString();
    EXPECT_EQ(F_Main->A_Connect->text(), "Disconnect");
    ASSERT_TRUE(sim->next_device(5s));
    ASSERT_TRUE(within_seconds([] { return F_Main->L_CommStatus->text() == "QELM found."; }));
    EXPECT_EQ(F_Main->A_Record->text(), "Stop Recording");
    wait_records(20);
    QTest::keyClick(F_Main, Qt::Key_F4);
    EXPECT_FALSE(F_Main->recording);
    EXPECT_TRUE(prompts.messages.empty());

    expect_lines_sent({path}, 1);
    // The line the reader held back when the device went is in the file.
    const std::vector<std::string> entries = read_entries(path);
    EXPECT_NE(std::find(entries.begin(), entries.end(), last_line_before_vanish()), entries.end());
    const auto logged = events();
    const auto lost = event_at(logged, "Instrument lost on COM6.");
    const auto back = event_at(logged, "Instrument back on COM6 after ");
    ASSERT_LT(back, std::ptrdiff_t(logged.size())) << read_file(marev::event_log_path());
    EXPECT_LT(event_at(logged, "Recording started: " + path), lost);
    EXPECT_LT(lost, back);
    EXPECT_LT(back, event_at(logged, "Recording goes on: " + path));
}

TEST_F(unattended_e2e, a_schedule_goes_on_through_an_outage_within_a_sample_and_across_its_end) {
    for (const bool across_the_end : {false, true}) {
        SCOPED_TRACE(across_the_end ? "across a stop time" : "within a sample");
        marev::fake_clock clock{1'700'000'000};
        marev::set_clock(&clock);
        temp_dir folder;
        std::filesystem::remove(log);
        auto sim = start_sim(70, "1");

        TF_Schedule& w = *F_Schedule;
        w.RB_Reps->setChecked(true);
        w.E_Reps->setText("3");
        w.E_RunFor->setText("1");
        w.PD_TimeUnits->setCurrentIndex(1);
        w.E_SaveDir->setText(QString::fromStdString(folder.path().string()));
        w.A_SetSchedule->trigger();
        ASSERT_TRUE(prompts.messages.empty());
        std::vector<std::string> files{F_Main->record_path.toStdString()};
        wait_records(10);
        clock.advance(60);
        ASSERT_TRUE(within_seconds([&] { return F_Main->record_path.toStdString() != files[0]; }));
        files.push_back(F_Main->record_path.toStdString());

        // The second sample is cut by the loss.
        ASSERT_TRUE(within_seconds(waiting, 10));
        EXPECT_TRUE(F_Main->A_StopSchedule->isVisible());
        EXPECT_FALSE(F_Main->A_Record->isVisible());
        if (across_the_end) {
            // Closed while the instrument is away; the next starts at its return.
            clock.advance(60);
            ASSERT_TRUE(within_seconds([] { return F_Main->reps_left == 0; }));
            EXPECT_EQ(F_Main->record_path.toStdString(), files[1]);
        }
        ASSERT_TRUE(sim->next_device(5s));
        // The fake clock stands still: the try that finds the port is made here.
        clock.advance(2);
        F_Main->TimerReconnectTimer();
        ASSERT_TRUE(within_seconds([] { return F_Main->L_CommStatus->text() == "QELM found."; }));
        EXPECT_FALSE(F_Main->A_Record->isVisible()) << "Start Recording offered by a schedule";
        wait_records(10);
        if (!across_the_end) {
            EXPECT_EQ(F_Main->record_path.toStdString(), files[1]);
            clock.advance(60);
            ASSERT_TRUE(
                within_seconds([&] { return F_Main->record_path.toStdString() != files[1]; }));
            wait_records(10);
        }
        files.push_back(F_Main->record_path.toStdString());
        ASSERT_NE(files[2], files[1]);
        clock.advance(60);
        ASSERT_TRUE(within_seconds([] { return F_Main->schedule_stop == 0; }));
        EXPECT_EQ(F_Main->A_Record->text(), "Start Recording");
        EXPECT_FALSE(F_Main->reader->record_open());
        EXPECT_TRUE(prompts.messages.empty());

        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder.path()))
            names.push_back(e.path().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, files);
        // Lines go missing at the outage only: a sample change loses none.
        expect_lines_sent(files, 1);

        const auto logged = events();
        const auto back = event_at(logged, "Instrument back on COM6 after ");
        ASSERT_LT(back, std::ptrdiff_t(logged.size())) << read_file(marev::event_log_path());
        EXPECT_LT(event_at(logged, "Instrument lost on COM6."), back);
        if (across_the_end) {
            EXPECT_LT(event_at(logged, "Sample ended: " + files[1]), back);
            EXPECT_GT(event_at(logged, "Sample started: " + files[2]), back);
        } else {
            EXPECT_GT(event_at(logged, "Recording goes on: " + files[1]), back);
        }
        F_Main->A_Connect->trigger();
        sim.reset();
        marev::set_clock(nullptr);
        std::filesystem::remove(marev::event_log_path());
    }
}

TEST_F(unattended_e2e, f2_while_waiting_or_the_option_off_leaves_the_port_alone) {
    for (const bool option_off : {false, true}) {
        SCOPED_TRACE(option_off ? "option off" : "F2 while waiting");
        std::filesystem::remove(log);
        if (option_off) {
            F_Main->A_Options->trigger();
            ASSERT_TRUE(F_Options->CB_Reconnect->isChecked());
            F_Options->CB_Reconnect->click();
            ASSERT_FALSE(F_Main->settings.reconnect);
            F_Options->Button1->click();
            F_Main->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(F_Main));
        }
        auto sim = start_sim(40, "0.5");
        const std::string path = out.file(option_off ? "off.dat" : "f2.dat");
        prompts.save_answers.push_back(QString::fromStdString(path));
        QTest::keyClick(F_Main, Qt::Key_F3);

        if (option_off) {
            ASSERT_TRUE(within_seconds(
                [] { return F_Main->L_CommStatus->text() == "Instrument lost."; }, 10));
        } else {
            ASSERT_TRUE(within_seconds(waiting, 10));
            QTest::keyClick(F_Main, Qt::Key_F2);
            EXPECT_EQ(F_Main->L_CommStatus->text(), "Disconnected.");
        }
        EXPECT_EQ(F_Main->A_Connect->text(), "Connect To Instrument");
        ASSERT_TRUE(sim->next_device(5s));
        // Longer than a period between tries: nothing opens the port.
        QTest::qWait(2500);
        EXPECT_FALSE(F_Main->Timer1->isActive());
        bool opened_after_return = false, returned = false;
        for (const auto& e : qelm_sim::read_log(log)) {
            returned = returned || e.kind == "RETURN";
            opened_after_return = opened_after_return || (returned && e.kind == "OPEN");
        }
        EXPECT_TRUE(returned);
        EXPECT_FALSE(opened_after_return);

        // Connecting by hand then goes on with the recording in its file.
        QTest::keyClick(F_Main, Qt::Key_F1);
        ASSERT_TRUE(within_seconds([] { return F_Main->L_CommStatus->text() == "QELM found."; }));
        wait_records(20);
        QTest::keyClick(F_Main, Qt::Key_F4);
        EXPECT_TRUE(prompts.messages.empty());
        expect_lines_sent({path}, 1);
        F_Main->A_Connect->trigger();
    }
}

} // namespace
