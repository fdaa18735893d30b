// The whole calibration procedure with the event loop running against the
// simulated instrument: start, three steps, save and stop to a new file, and
// a second save appended to it. The simulator's three steps give clearly
// different count levels, and the commands it heard are checked in order.

#include "app/main_window.h"
#include "app/port_chooser.h"
#include "app/prompts.h"
#include "app/windows.h"
#include "calibration/calibration_window.h"
#include "chart/plot_widget.h"
#include "link/port_names.h"

#include "sim_log.h"
#include "sim_process.h"
#include "temp_dir.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

// Mean counts of the simulator's high-voltage steps 1, 2 and 3.
constexpr double step_level[3] = {20, 60, 180};

class calibration_e2e : public ::testing::Test {
protected:
    void SetUp() override {
        marev::set_prompts(&prompts);
        qelm_reader::set_synced(false);
        set_port_folder(ports.path());
        create_windows();
        F_Main->show();
        F_Calibration->show();
    }
    void TearDown() override {
        destroy_windows();
        marev::set_prompts(nullptr);
    }

    static bool within_seconds(const std::function<bool()>& condition, int seconds = 10) {
        return QTest::qWaitFor(condition, seconds * 1000);
    }

    temp_dir ports;
    std::string log = ports.file("sim.log");
    marev::fake_prompts prompts;
};

TEST_F(calibration_e2e, three_steps_against_the_simulator_are_saved_and_charted) {
    // Twenty lines a second, and the command queue paced to match, keep the
    // instrument's timing: one command per line, as at one line a second.
    qelm_sim::sim_process sim({"--port", "6", "--port-folder", ports.path(), "--rate", "20",
                               "--seed", "11", "--log", log});
    TF_Calibration& w = *F_Calibration;
    w.Timer1->setInterval(50);
    F_Main->UD_Serial->setValue(6);
    F_Main->A_Connect->trigger();
    ASSERT_TRUE(within_seconds([] { return F_Main->L_CommStatus->text() == "QELM found."; }));

    ASSERT_TRUE(w.A_StartVerifyCal->isEnabled());
    w.A_StartVerifyCal->trigger();
    for (int step = 1; step <= 3; ++step) {
        SCOPED_TRACE(step);
        w.PD_HVStep->setCurrentIndex(step - 1);
        w.A_CalibrateHVStep->trigger();
        ASSERT_TRUE(w.TimerCalibrate->isActive());
        // 60 records in the window and the five after it; then the step is
        // ended here rather than 63 s later.
        const std::int64_t enough = w.step_start + 65;
        ASSERT_TRUE(
            within_seconds([&] { return std::int64_t(F_Main->reader->record_count()) >= enough; }));
        w.TimerCalibrateTimer();
        EXPECT_FALSE(w.TimerCalibrate->isActive());
        ASSERT_TRUE(w.A_CalibrateHVStep->isEnabled());
    }
    ASSERT_TRUE(prompts.messages.empty()) << prompts.messages[0].text.toStdString();

    const std::vector<double>* histories[3] = {&w.hv1_history, &w.hv2_history, &w.hv3_history};
    double values[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(histories[i]->size(), 1u);
        values[i] = histories[i]->back();
        // A record or two with the PMT still off may fall into the window.
        EXPECT_GT(values[i], 0.85 * step_level[i]) << "step " << i + 1;
        EXPECT_LT(values[i], 1.1 * step_level[i]) << "step " << i + 1;
    }

    // Save and stop into a new file: one line.
    temp_dir out;
    const std::string path = out.file("calibration.txt");
    prompts.save_answers.push_back(QString::fromStdString(path));
    w.A_SaveStopCal->trigger();
    const std::string first = read_file(path);
    ASSERT_EQ(first.find("\r\n"), first.size() - 2) << first;
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, "%g\t%g\t%g\t", values[0], values[1], values[2]);
    EXPECT_EQ(first.rfind(numbers, 0), 0u) << first;
    EXPECT_TRUE(w.cal_loaded);
    EXPECT_EQ(w.L_HV2PrevCal->text(),
              QString::asprintf("Previous calibration: %.2f", w.hv2_history.back()));

    // Again: appended without asking, and charted as a history of two.
    ASSERT_TRUE(w.A_StartVerifyCal->isEnabled());
    w.A_StartVerifyCal->trigger();
    w.A_SaveStopCal->trigger();
    EXPECT_EQ(prompts.save_requests.size(), 1u);
    const std::string both = read_file(path);
    EXPECT_EQ(both.substr(0, first.size()), first);
    EXPECT_EQ(std::count(both.begin(), both.end(), '\n'), 2);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(w.Plot1->plot().GetChannel(c).PointCount(), 2);

    // The instrument heard every command, in order.
    ASSERT_TRUE(within_seconds([&] { return w.command_queue.empty(); }));
    const std::string expected = "Os"
                                 "LM1\rPno"
                                 "Oim"
                                 "LM2\rPno"
                                 "Oim"
                                 "LM3\rPno"
                                 "Oim"
                                 "oP"
                                 "OsoP";
    ASSERT_TRUE(within_seconds([&] {
        std::string heard = qelm_sim::received_bytes(log);
        return heard.size() >= expected.size() &&
               heard.substr(heard.size() - expected.size()) == expected;
    })) << qelm_sim::received_bytes(log);
    F_Main->A_Connect->trigger();
    EXPECT_TRUE(prompts.messages.empty());
}

} // namespace
