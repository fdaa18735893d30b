// Runs of samples, second by second: the instrument sends a line, the fast
// timer takes it, the clock moves on and the one-second timer ends and starts
// the samples.

#include "qstring_print.h"
#include "windows_fixture.h"

#include "link/link_error.h"
#include "link/record_file.h"
#include "schedule/schedule_window.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class schedule_run : public instrument_test {
protected:
    void SetUp() override {
        instrument_test::SetUp();
        connect_and_sync();
        show(data_line());
        ASSERT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
        F_Schedule->E_SaveDir->setText(QString::fromStdString(out.path().string()));
        F_Schedule->E_RunFor->setText("1");
        F_Schedule->PD_TimeUnits->setCurrentIndex(1); // minutes
    }

    // Line i of the run, told apart by its first count.
    static std::string lines(int first, int last) {
        std::string all;
        for (int i = first; i <= last; ++i)
            all += line(i);
        return all;
    }

    // Second i: line i arrives and is taken, then the clock moves on by a
    // second and the one-second timer ticks. The lines go to the reader
    // as its port would hand them over, without the pseudo-terminal's pace.
    void arrive(int i) {
        F_Main->reader->receive(line(i) + "\n");
        ticks(1);
    }
    void second(int i) {
        arrive(i);
        clock.advance(1);
        F_Main->TimerMinuteTimer();
    }
    void seconds(int first, int last) {
        for (int i = first; i <= last; ++i)
            second(i);
    }

    // The file that a sample started at clock time t writes.
    std::string file_at(std::int64_t t) const {
        return out.file(record_file_name(7, clock.local(t)));
    }

    void set_schedule(QRadioButton* choice, const char* reps = "1") {
        choice->setChecked(true);
        F_Schedule->E_Reps->setText(reps);
        start = clock.now();
        F_Schedule->A_SetSchedule->trigger();
        ASSERT_TRUE(prompts.messages.empty());
    }

    static void expect_first_sample_state() {
        const TF_Main& m = *F_Main;
        EXPECT_TRUE(m.recording);
        EXPECT_NE(m.schedule_stop, 0);
        EXPECT_TRUE(m.A_Record->isVisible());
        EXPECT_TRUE(m.A_Record->isEnabled());
        EXPECT_EQ(m.A_Record->text(), "Stop Recording");
        EXPECT_EQ(m.A_Record->shortcut(), QKeySequence(Qt::Key_F4));
        EXPECT_TRUE(m.A_StopSchedule->isVisible());
        EXPECT_TRUE(m.A_StopSchedule->isEnabled());
    }
    static void expect_later_sample_state() {
        const TF_Main& m = *F_Main;
        EXPECT_TRUE(m.recording);
        EXPECT_NE(m.schedule_stop, 0);
        EXPECT_FALSE(m.A_Record->isVisible());
        EXPECT_FALSE(m.A_Record->isEnabled());
        EXPECT_TRUE(m.A_StopSchedule->isVisible());
        EXPECT_TRUE(m.A_StopSchedule->isEnabled());
    }
    static void expect_idle_state() {
        const TF_Main& m = *F_Main;
        EXPECT_FALSE(m.recording);
        EXPECT_EQ(m.schedule_stop, 0);
        EXPECT_TRUE(m.A_Record->isVisible());
        EXPECT_TRUE(m.A_Record->isEnabled());
        EXPECT_EQ(m.A_Record->text(), "Start Recording");
        EXPECT_EQ(m.A_Record->shortcut(), QKeySequence(Qt::Key_F3));
        EXPECT_FALSE(m.A_StopSchedule->isVisible());
        EXPECT_FALSE(F_Main->reader->record_open());
    }

    temp_dir out;
    std::int64_t start = 0;
};

TEST_F(schedule_run, three_samples_of_a_minute_make_three_files_each_closed_at_its_stop_time) {
    set_schedule(F_Schedule->RB_Reps, "3");
    EXPECT_EQ(F_Main->reps_left, 2);

    EXPECT_EQ(F_Main->L_FileName->toolTip().toStdString(), file_at(start));
    seconds(1, 59);
    expect_first_sample_state();
    EXPECT_EQ(F_Main->schedule_stop, start + 60);
    ASSERT_FALSE(F_Terminal->M_Output->toPlainText().isEmpty());
    ASSERT_EQ(F_Main->Plot2->plot().GetChannel(0).PointCount(), 60);
    second(60); // the tick at the stop time ends the first sample
    EXPECT_EQ(F_Main->reps_left, 1);
    EXPECT_EQ(F_Main->schedule_stop, start + 120);
    expect_later_sample_state();
    EXPECT_EQ(F_Main->record_path.toStdString(), file_at(start + 60));
    EXPECT_EQ(F_Main->L_FileName->text().toStdString(), file_at(start + 60));
    EXPECT_EQ(F_Main->L_FileName->toolTip().toStdString(), file_at(start + 60));
    // Only the current sample is held: not in the reader, the terminal or
    // either chart.
    EXPECT_EQ(F_Main->reader->record_count(), 0u);
    EXPECT_TRUE(F_Terminal->M_Output->toPlainText().isEmpty());
    EXPECT_EQ(F_Main->Plot1->plot().GetChannel(1).PointCount(), 0);
    EXPECT_EQ(F_Main->Plot2->plot().GetChannel(0).PointCount(), 0);

    seconds(61, 120);
    EXPECT_EQ(F_Main->reps_left, 0);
    expect_later_sample_state();
    seconds(121, 179);
    expect_later_sample_state();
    second(180);
    expect_idle_state();
    seconds(181, 185); // not recorded anywhere

    EXPECT_EQ(read_file(file_at(start)), lines(1, 60));
    EXPECT_EQ(read_file(file_at(start + 60)), lines(61, 120));
    EXPECT_EQ(read_file(file_at(start + 120)), lines(121, 180));
    EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), fs::directory_iterator()), 3);

    // A recording by hand afterwards runs until it is stopped by hand.
    const std::string by_hand = out.file("by_hand.dat");
    prompts.save_answers.push_back(QString::fromStdString(by_hand));
    F_Main->A_Record->trigger();
    EXPECT_TRUE(F_Main->recording);
    seconds(186, 250);
    EXPECT_TRUE(F_Main->reader->record_open());
    F_Main->A_Record->trigger();
    EXPECT_EQ(read_file(by_hand), lines(186, 250));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(schedule_run, a_schedule_without_end_runs_until_stop_schedule_closes_its_file) {
    set_schedule(F_Schedule->RB_Forever);
    seconds(1, 150);
    EXPECT_EQ(F_Main->reps_left, -1);
    expect_later_sample_state();

    F_Main->A_StopSchedule->trigger();
    expect_idle_state();
    EXPECT_EQ(F_Main->reps_left, -1); // kept; not consulted without a schedule
    seconds(151, 200);

    EXPECT_EQ(read_file(file_at(start)), lines(1, 60));
    EXPECT_EQ(read_file(file_at(start + 60)), lines(61, 120));
    EXPECT_EQ(read_file(file_at(start + 120)), lines(121, 150));
    EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), fs::directory_iterator()), 3);
}

TEST_F(schedule_run, a_new_sample_loses_no_line_held_back_or_under_way) {
    // Noise on the line: the reader finds the stream again on the next line
    // and from then on holds the latest complete line back until the next.
    F_Main->reader->receive("noise\n" + line(0) + "\n");
    set_schedule(F_Schedule->RB_Reps, "2");
    seconds(1, 59);
    // Half of line 60 is under way at the stop time.
    const std::string sixty = line(60) + "\n";
    F_Main->reader->receive(sixty.substr(0, sixty.size() / 2));
    ticks(1);
    clock.advance(1);
    F_Main->TimerMinuteTimer();
    F_Main->reader->receive(sixty.substr(sixty.size() / 2));
    ticks(1);
    clock.advance(1);
    F_Main->TimerMinuteTimer();
    seconds(62, 120);
    expect_idle_state();

    // Every line in one file, once, in order: those complete before the
    // stop time in the first, the one under way in the second.
    EXPECT_TRUE(read_file(file_at(start)) == lines(1, 59));
    EXPECT_TRUE(read_file(file_at(start + 60)) == lines(60, 60) + lines(62, 120));
}

TEST_F(schedule_run, a_stop_by_hand_ends_the_first_file_early_and_the_schedule_goes_on) {
    set_schedule(F_Schedule->RB_Reps, "2");
    seconds(1, 20);
    F_Main->A_Record->trigger();
    EXPECT_FALSE(F_Main->recording);
    EXPECT_EQ(F_Main->A_Record->text(), "Start Recording");
    EXPECT_TRUE(F_Main->A_StopSchedule->isVisible());
    seconds(21, 60);
    expect_later_sample_state();
    seconds(61, 120);
    expect_idle_state();

    EXPECT_EQ(read_file(file_at(start)), lines(1, 20));
    EXPECT_EQ(read_file(file_at(start + 60)), lines(61, 120));
}

TEST_F(schedule_run, a_sample_whose_file_cannot_open_is_tried_again_at_the_next_stop_time) {
    set_schedule(F_Schedule->RB_Forever);
    seconds(1, 59);
    const std::string moved = out.file("moved");
    F_Schedule->E_SaveDir->setText(QString::fromStdString(moved)); // not there yet

    // The error leaves the tick for the top-level handler; the sample's stop
    // time is set, so it does not come back every second.
    arrive(60);
    clock.advance(1);
    EXPECT_THROW(F_Main->TimerMinuteTimer(), link_error);
    EXPECT_EQ(F_Main->schedule_stop, start + 120);
    EXPECT_FALSE(F_Main->reader->record_open());
    seconds(61, 119);

    fs::create_directory(moved);
    seconds(120, 130);
    EXPECT_EQ(F_Main->record_path.toStdString(),
              moved + "/" + fs::path(file_at(start + 120)).filename().string());
    EXPECT_EQ(read_file(file_at(start)), lines(1, 60));
    EXPECT_EQ(read_file(F_Main->record_path.toStdString()), lines(121, 130));
}

TEST_F(schedule_run, a_box_about_a_failed_sample_leaves_both_timers_ticking) {
    set_schedule(F_Schedule->RB_Forever);
    // From the next sample on, no file can be opened and a sample lasts no
    // time, so the one-second timer tries again at every tick.
    F_Schedule->E_SaveDir->setText(QString::fromStdString(out.file("not there")));
    F_Schedule->E_RunFor->setText("0");
    F_Calibration->countdown = 60;
    clock.advance(60);

    // Ticks of each timer while a box is open; the box stays open as a real
    // one does until someone clicks OK, its event loop turning.
    int fast = 0, minute = 0, most_open = 0;
    QObject::connect(F_Main->Timer1, &QTimer::timeout, [&] { fast += prompts.open_boxes; });
    QObject::connect(F_Main->TimerMinute, &QTimer::timeout, [&] {
        minute += prompts.open_boxes;
        most_open = std::max(most_open, prompts.open_boxes);
    });
    F_Main->TimerMinute->start(100); // shorter seconds, for a quick test
    prompts.open_ms = 1500;
    QTRY_VERIFY_WITH_TIMEOUT(!prompts.messages.empty(), 5000);
    EXPECT_EQ(prompts.messages[0].text, "Unable to open file for saving.");
    EXPECT_GE(minute, 3);
    EXPECT_GE(fast, 3);
    EXPECT_LE(F_Calibration->countdown, 60 - 3);
    EXPECT_EQ(F_Main->schedule_stop, clock.now());
    // The failure repeats at every tick, but no box opens over another.
    EXPECT_EQ(most_open, 1);
}

} // namespace
