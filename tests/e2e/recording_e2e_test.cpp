// Ten seconds recorded by hand with F3 and F4 against the simulated
// instrument, the real timers turning: the file is the simulator's own lines,
// byte for byte and without a gap.

#include "e2e_fixture.h"

#include "app/main_window.h"
#include "app/port_chooser.h"
#include "app/prompts.h"
#include "app/windows.h"
#include "link/port_names.h"

#include "sim_log.h"
#include "sim_process.h"
#include "temp_dir.h"

#include <QAction>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The shared fixture under this suite's own name.
using recording_e2e = e2e;

TEST_F(recording_e2e, ten_seconds_by_hand_are_a_gapless_run_of_the_lines_sent) {
    qelm_sim::sim_process sim({"--port", "6", "--port-folder", ports.path(), "--serial", "42",
                               "--rate", "10", "--seed", "11", "--log", log});
    F_Main->UD_Serial->setValue(6);
    QTest::keyClick(F_Main, Qt::Key_F1);
    ASSERT_TRUE(within_seconds([] { return F_Main->L_CommStatus->text() == "QELM found."; }, 5));
    ASSERT_TRUE(within_seconds([] { return F_Main->shown >= 3; }, 5));

    temp_dir out;
    const std::string path = out.file("by_hand.dat");
    prompts.save_answers.push_back(QString::fromStdString(path));
    QTest::keyClick(F_Main, Qt::Key_F3);
    ASSERT_TRUE(F_Main->recording);
    ASSERT_EQ(F_Main->A_Record->text(), "Stop Recording");
    ASSERT_TRUE(within_seconds(
        [] { return F_Main->L_TimeRecording->text() == "Recorded for 10 seconds"; }, 15))
        << F_Main->L_TimeRecording->text().toStdString();
    EXPECT_TRUE(F_Main->L_FileSize->text().startsWith("File size: "))
        << F_Main->L_FileSize->text().toStdString();
    QTest::keyClick(F_Main, Qt::Key_F4);
    EXPECT_FALSE(F_Main->recording);
    EXPECT_FALSE(F_Main->reader->record_open());
    EXPECT_TRUE(prompts.messages.empty());

    // Each entry of the file is one line as the simulator sent it, up to and
    // including its carriage return; together they are a run of consecutive
    // lines of the log.
    const std::string recorded = read_file(path);
    ASSERT_FALSE(recorded.empty());
    ASSERT_EQ(recorded.back(), '\r');
    const std::vector<std::string> entries = read_entries(path);
    // Ten a second for nine to ten seconds (the label counts whole seconds).
    EXPECT_GE(entries.size(), 80u);

    const std::vector<std::string> sent = qelm_sim::sent_lines(log);
    const auto first = std::find(sent.begin(), sent.end(), entries.front());
    ASSERT_NE(first, sent.end()) << entries.front();
    ASSERT_GE(std::size_t(sent.end() - first), entries.size());
    EXPECT_TRUE(std::equal(entries.begin(), entries.end(), first));
}

} // namespace
