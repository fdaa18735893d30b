// A schedule of three samples with the real windows and timers against
// qelm-sim at a fast line rate. A sample lasts a minute of a fake clock that
// the test moves on once the sample has recorded for a real second or so.
// Each file must be a run of the lines the simulator logged, in order, with no
// line in two files and no more lost between two samples than the reader's
// resynchronisation costs.

#include "app/main_window.h"
#include "app/port_chooser.h"
#include "app/prompts.h"
#include "app/windows.h"
#include "link/clock.h"
#include "link/port_names.h"
#include "link/qelm_reader.h"
#include "schedule/schedule_window.h"

#include "qstring_print.h"
#include "sim_log.h"
#include "sim_process.h"
#include "temp_dir.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class schedule_e2e : public ::testing::Test {
protected:
    void SetUp() override {
        marev::set_prompts(&prompts);
        marev::set_clock(&clock);
        qelm_reader::set_synced(false);
        set_port_folder(ports.path());
        create_windows();
        F_Main->show();
    }
    void TearDown() override {
        destroy_windows();
        marev::set_clock(nullptr);
        marev::set_prompts(nullptr);
    }

    static bool within_seconds(const std::function<bool()>& condition, int seconds = 5) {
        return QTest::qWaitFor(condition, seconds * 1000);
    }

    temp_dir ports;
    std::string log = ports.file("sim.log");
    temp_dir out;
    marev::fake_clock clock{1'700'000'000};
    marev::fake_prompts prompts;
};

TEST_F(schedule_e2e, three_samples_record_the_simulators_lines_without_overlap) {
    qelm_sim::sim_process sim({"--port", "5", "--port-folder", ports.path(), "--serial", "42",
                               "--rate", "25", "--seed", "5", "--log", log});
    F_Main->UD_Serial->setValue(5);
    F_Main->A_Connect->trigger();
    ASSERT_TRUE(within_seconds([] { return F_Main->L_CommStatus->text() == "QELM found."; }))
        << F_Main->L_CommStatus->text().toStdString();

    TF_Schedule& w = *F_Schedule;
    w.RB_Reps->setChecked(true);
    w.E_Reps->setText("3");
    w.E_RunFor->setText("1");
    w.PD_TimeUnits->setCurrentIndex(1);
    w.E_SaveDir->setText(QString::fromStdString(out.path().string()));
    w.A_SetSchedule->trigger();
    ASSERT_TRUE(prompts.messages.empty()) << prompts.messages[0].text.toStdString();

    std::vector<std::string> files{F_Main->record_path.toStdString()};
    for (int sample = 1; sample <= 3; ++sample) {
        const std::size_t before = F_Main->reader->record_count();
        // A real second or so of lines, then the sample's minute is over.
        ASSERT_TRUE(within_seconds([&] { return F_Main->reader->record_count() >= before + 20; }));
        clock.advance(60);
        if (sample < 3) {
            ASSERT_TRUE(within_seconds([&] {
                return F_Main->record_path.toStdString() != files.back();
            })) << "sample "
                << sample << " did not end";
            files.push_back(F_Main->record_path.toStdString());
            EXPECT_TRUE(F_Main->A_StopSchedule->isVisible());
            EXPECT_FALSE(F_Main->A_Record->isVisible());
        } else {
            ASSERT_TRUE(within_seconds([] { return F_Main->schedule_stop == 0; }));
        }
    }
    EXPECT_EQ(F_Main->A_Record->text(), "Start Recording");
    EXPECT_FALSE(F_Main->A_StopSchedule->isVisible());
    EXPECT_FALSE(F_Main->reader->record_open());
    F_Main->A_Connect->trigger();
    EXPECT_TRUE(prompts.messages.empty());

    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out.path()))
        names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, files);

    // Where each file's run of lines begins and ends in what was sent.
    const std::vector<std::string> sent = qelm_sim::sent_lines(log);
    std::ptrdiff_t end_of_last = -1;
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        const std::vector<std::string> lines = read_entries(f);
        ASSERT_GE(lines.size(), 20u);
        const auto first = std::find(sent.begin(), sent.end(), lines.front());
        ASSERT_NE(first, sent.end()) << "not a line that was sent: " << lines.front();
        ASSERT_LE(lines.size(), std::size_t(sent.end() - first));
        EXPECT_TRUE(std::equal(lines.begin(), lines.end(), first)) << "not one run of lines";
        const std::ptrdiff_t begin = first - sent.begin();
        if (end_of_last >= 0) {
            EXPECT_GT(begin, end_of_last) << "a line in two files";
            EXPECT_LE(begin - end_of_last - 1, 3) << "lines lost between two samples";
        }
        end_of_last = begin + std::ptrdiff_t(lines.size()) - 1;
    }
}

} // namespace
