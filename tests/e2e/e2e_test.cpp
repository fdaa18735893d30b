// The real windows, the real timers and the simulated instrument on a
// pseudo-terminal: connect with F1, see the instrument found and its records
// shown and charted, switch pump and PMT, record a stretch to a file, and
// compare with what the simulator logged.

#include "e2e_fixture.h"

#include "app/badge.h"
#include "app/main_window.h"
#include "app/port_chooser.h"
#include "app/prompts.h"
#include "app/windows.h"
#include "chart/plot_widget.h"
#include "link/port_names.h"
#include "terminal/terminal_window.h"

#include "sim_log.h"
#include "sim_process.h"
#include "temp_dir.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST_F(e2e, connect_watch_switch_and_record_against_the_simulator) {
    // Ten lines a second keep the test short; the program does not care.
    qelm_sim::sim_process sim({"--port", "5", "--port-folder", ports.path(), "--serial", "42",
                               "--rate", "10", "--seed", "3", "--log", log});
    F_Main->UD_Serial->setValue(5);
    QTest::keyClick(F_Main, Qt::Key_F1);
    EXPECT_EQ(F_Main->A_Connect->text(), "Disconnect");

    ASSERT_TRUE(within_seconds([] { return F_Main->L_CommStatus->text() == "QELM found."; }))
        << F_Main->L_CommStatus->text().toStdString();
    EXPECT_TRUE(F_Main->A_Record->isVisible());
    ASSERT_TRUE(within_seconds([] { return F_Main->shown >= 5; }));
    EXPECT_EQ(F_Main->L_Serial->text(), "Serial Number: 042");
    EXPECT_FALSE(F_Main->I_PumpOn->isHidden());
    EXPECT_FALSE(F_Main->I_PMTOn->isHidden());
    EXPECT_TRUE(F_Main->E_PMTOff->isHidden());
    EXPECT_EQ(F_Main->Plot2->plot().GetChannel(0).PointCount(), 60);
    EXPECT_GE(F_Main->Plot1->plot().GetChannel(1).PointCount(), 5);

    // Pump and PMT off: the instrument's next records say so.
    QTest::keyClick(F_Main, Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
    F_Main->A_PMTOff->trigger();
    ASSERT_TRUE(within_seconds([] {
        return F_Main->L_PumpRPM->text() == "Pump RPM: 0" &&
               F_Main->L_PMTvoltage->text() == "PMT Input Voltage: 0.00";
    })) << F_Main->L_PumpRPM->text().toStdString();
    EXPECT_FALSE(F_Main->I_PumpOff->isHidden());
    EXPECT_FALSE(F_Main->I_PMTOff->isHidden());
    EXPECT_FALSE(F_Main->E_PMTOff->isHidden());
    EXPECT_EQ(F_Main->Plot1->plot().BackGroundColor(), QColor(128, 128, 128));

    // And on again, recording meanwhile.
    temp_dir out;
    const std::string path = out.file("rec.dat");
    F_Main->reader->open_record(path, 0);
    F_Main->ShowRecordingState(true);
    F_Main->A_PumpOn->trigger();
    F_Main->A_PMTOn->trigger();
    ASSERT_TRUE(within_seconds([] {
        return F_Main->L_PumpRPM->text() != "Pump RPM: 0" &&
               F_Main->L_PMTvoltage->text() != "PMT Input Voltage: 0.00";
    }));
    EXPECT_FALSE(F_Main->I_PumpOn->isHidden());
    EXPECT_TRUE(F_Main->E_PMTOff->isHidden());
    EXPECT_EQ(F_Main->Plot1->plot().BackGroundColor(), QColor(Qt::black));
    const std::uint32_t shown_before = F_Main->shown;
    ASSERT_TRUE(within_seconds([&] { return F_Main->shown >= shown_before + 5; }));

    F_Main->A_Connect->trigger();
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Disconnected.");
    F_Main->reader->close_record();
    EXPECT_TRUE(prompts.messages.empty());

    // The instrument heard the probe and the four switches, in order.
    std::string heard = qelm_sim::received_bytes(log);
    heard.erase(0, heard.find_first_not_of('P'));
    EXPECT_EQ(heard, "sigo");

    // The file holds a run of whole lines exactly as sent, and so does the
    // terminal's list (without the carriage returns).
    const std::vector<std::string> sent = qelm_sim::sent_lines(log);
    std::string recorded = read_file(path);
    ASSERT_FALSE(recorded.empty());
    std::vector<std::string> file_lines;
    for (std::size_t pos = 0, cr; (cr = recorded.find('\r', pos)) != std::string::npos;
         pos = cr + 1)
        file_lines.push_back(recorded.substr(pos, cr + 1 - pos));
    EXPECT_GE(file_lines.size(), 5u);
    const auto first = std::find(sent.begin(), sent.end(), file_lines.front());
    ASSERT_NE(first, sent.end());
    ASSERT_LE(std::size_t(sent.end() - first), sent.size());
    EXPECT_TRUE(std::equal(file_lines.begin(), file_lines.end(), first));

    const QStringList listed = F_Terminal->M_Output->toPlainText().split('\n');
    ASSERT_GE(listed.size(), 5);
    for (const QString& line : listed)
        EXPECT_NE(std::find(sent.begin(), sent.end(), line.toStdString() + "\r"), sent.end());
}

} // namespace
