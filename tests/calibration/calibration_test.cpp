// The calibration window against an instrument the test plays on a
// pseudo-terminal: command pacing, the measurement of a step, the state of
// the procedure, the calibration file and its chart, the service page.
#include "windows_fixture.h"

#include "file_size_limit.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

namespace {

using enum command;

class calibration : public instrument_test {
protected:
    void SetUp() override {
        instrument_test::SetUp();
        connect_and_sync();
        records(1, 0); // the instrument is found
        inst.received();
    }

    // n records whose counts are all `count`, taken by the reader.
    void records(int n, double count) {
        while (n > 0) {
            const int batch = std::min(n, 10);
            std::string bytes;
            for (int i = 0; i < batch; ++i)
                bytes +=
                    data_line({.counter = ++counter, .count = count, .same_counts = true}) + "\n";
            const std::size_t want = F_Main->reader->record_count() + std::size_t(batch);
            inst.send(bytes);
            for (int i = 0; i < 50 && F_Main->reader->record_count() < want; ++i)
                ticks(1);
            ASSERT_EQ(F_Main->reader->record_count(), want);
            n -= batch;
        }
    }

    // What the instrument receives at each of n command ticks.
    std::vector<std::string> command_ticks(int n) {
        std::vector<std::string> out;
        for (int i = 0; i < n; ++i) {
            F_Calibration->Timer1Timer();
            out.push_back(inst.received());
        }
        return out;
    }

    void send_all_commands() {
        while (!F_Calibration->command_queue.empty())
            F_Calibration->Timer1Timer();
        inst.received();
    }

    // Start, then one step of n records of `count` around the five left out
    // at each end, evaluated.
    void measure(int step, double count, int n = 60) {
        TF_Calibration& w = *F_Calibration;
        w.PD_HVStep->setCurrentIndex(step - 1);
        w.A_CalibrateHVStep->trigger();
        records(5, 1000);
        records(n, count);
        records(5, 1000);
        w.TimerCalibrateTimer();
        send_all_commands();
    }

    temp_dir files;
    std::string cal_path = files.file("cal.txt");
    unsigned counter = 0;
};

using calibration_window = windows_test;

std::vector<std::string> bytes(std::initializer_list<const char*> each) {
    return {each.begin(), each.end()};
}

TEST_F(calibration_window, starts_as_the_procedure_describes) {
    store_settings("calfile=/data/cal.txt");
    create_windows();
    TF_Calibration& w = *F_Calibration;
    EXPECT_EQ(w.windowTitle(), "Utilities");
    EXPECT_EQ(w.E_PrevCal->text(), "/data/cal.txt"); // shown, not loaded
    EXPECT_FALSE(w.cal_loaded);
    EXPECT_EQ(w.PageControl1->count(), 3);
    EXPECT_TRUE(w.PageControl1->isTabVisible(0));
    EXPECT_FALSE(w.PageControl1->isTabVisible(1));
    EXPECT_TRUE(w.PageControl1->isTabVisible(2));
    EXPECT_EQ(w.PageControl1->tabText(1), "Black Magic Goes Here");

    EXPECT_FALSE(w.A_StartVerifyCal->isEnabled());
    EXPECT_FALSE(w.A_CalibrateHVStep->isEnabled());
    EXPECT_FALSE(w.A_SaveStopCal->isEnabled());
    EXPECT_TRUE(w.A_LoadCalibration->isEnabled());
    EXPECT_EQ(w.B_CalibrateHVStep->text(), "Calibrate HV Step 1");
    EXPECT_EQ(w.A_CalibrateHVStep->data().toInt(), 1);
    EXPECT_EQ(w.PD_HVStep->count(), 3);
    EXPECT_EQ(w.PD_HVStep->currentText(), "HV Step 1");
    EXPECT_FALSE(w.PD_HVStep->isEditable());
    EXPECT_TRUE(w.L_ReadingTime->isHidden());
    EXPECT_EQ(w.L_ReadingTime->text(), "Reading for n seconds....");
    EXPECT_EQ(w.L_HV2cal->text(), "HV Step 2:  Not yet calibrated");
    EXPECT_EQ(w.L_HV3PrevCal->text(), "Previous Calibration: Not found.");
    EXPECT_EQ(w.L_PMT->text(), "PMT status: unknown");
    EXPECT_EQ(w.L_Pump->text(), "Pump status: unknown");
    EXPECT_EQ(w.Timer1->interval(), 1000);
    EXPECT_EQ(w.TimerCalibrate->interval(), 63000);
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_FALSE(w.TimerCalibrate->isActive());
    EXPECT_EQ(w.countdown, 0);

    const Plot& plot = w.Plot1->plot();
    ASSERT_EQ(plot.ChannelCount(), 3);
    EXPECT_TRUE(plot.LegendVisible());
    EXPECT_EQ(plot.TitleFontSize(), 14);
    const QColor colours[3] = {Qt::red, Qt::yellow, Qt::blue};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(plot.GetChannel(c).Name(), QString("Channel %1").arg(c + 1));
        EXPECT_EQ(plot.GetChannel(c).Color(), colours[c]);
        EXPECT_TRUE(plot.GetChannel(c).MarkersVisible());
    }
}

TEST_F(calibration, start_then_a_step_sends_one_command_a_second_in_order) {
    TF_Calibration& w = *F_Calibration;
    ASSERT_TRUE(w.A_StartVerifyCal->isEnabled());
    w.A_StartVerifyCal->trigger();
    w.A_CalibrateHVStep->trigger();
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(inst.received(), ""); // queued, not sent
    EXPECT_EQ(command_ticks(10), bytes({"O", "s", "L", "M", "1", "\r", "P", "n", "o", ""}));

    records(70, 3);
    w.TimerCalibrateTimer();
    EXPECT_EQ(command_ticks(4), bytes({"O", "i", "m", ""}));
}

TEST_F(calibration, the_status_row_buttons_send_at_once) {
    TF_Calibration& w = *F_Calibration;
    w.B_PMTOff->click();
    w.B_PumpOn->click();
    EXPECT_EQ(inst.received(), "ig");
    EXPECT_TRUE(w.command_queue.empty());
    EXPECT_EQ(w.B_PMTOn->text(), F_Main->A_PMTOn->text());
}

TEST_F(calibration, a_step_averages_the_records_between_the_five_left_out_at_each_end) {
    TF_Calibration& w = *F_Calibration;
    w.A_StartVerifyCal->trigger();
    w.PD_HVStep->setCurrentIndex(2);
    EXPECT_EQ(w.A_CalibrateHVStep->text(), "Calibrate HV Step 3");
    const std::size_t before = F_Main->reader->record_count();
    w.L_ReadingTime->setText("Recording for 1 more seconds..."); // a step before
    w.A_CalibrateHVStep->trigger();
    EXPECT_EQ(w.L_ReadingTime->text(), "Reading for n seconds....");
    EXPECT_EQ(w.step_start, std::int64_t(before) + 5);
    EXPECT_EQ(w.countdown, 60);
    EXPECT_FALSE(w.L_ReadingTime->isHidden());
    EXPECT_FALSE(w.PD_HVStep->isEnabled());
    EXPECT_FALSE(w.A_CalibrateHVStep->isEnabled());
    EXPECT_TRUE(w.TimerCalibrate->isActive());
    EXPECT_EQ(command_ticks(5)[4], "3"); // the step digit

    // 70 records: five of 1000 at each end, 60 of 10, 11, ... 69 between.
    records(5, 1000);
    for (int i = 0; i < 60; ++i)
        records(1, 10 + i);
    records(5, 1000);
    w.TimerCalibrateTimer();
    ASSERT_EQ(w.hv3_history.size(), 1u);
    EXPECT_DOUBLE_EQ(w.hv3_history[0], 39.5);
    EXPECT_EQ(w.L_HV3cal->text(), "HV Step 3: 39.50");
    EXPECT_TRUE(w.hv1_history.empty());
    EXPECT_EQ(w.L_HV1cal->text(), "HV Step 1:  Not yet calibrated");
    EXPECT_TRUE(w.L_ReadingTime->isHidden());
    EXPECT_TRUE(w.PD_HVStep->isEnabled());
    EXPECT_TRUE(w.A_CalibrateHVStep->isEnabled());
    EXPECT_FALSE(w.TimerCalibrate->isActive());
    EXPECT_TRUE(prompts.messages.empty());

    // Constant counts give that constant, whatever the number of records.
    for (int n : {1, 7, 200}) {
        measure(1, 12.25, n);
        EXPECT_DOUBLE_EQ(w.hv1_history.back(), 12.25) << n;
        EXPECT_EQ(w.L_HV1cal->text(), "HV Step 1: 12.25");
    }
    EXPECT_EQ(w.hv1_history.size(), 3u);
}

TEST_F(calibration, a_step_without_records_is_evaluated_again_from_the_same_start) {
    TF_Calibration& w = *F_Calibration;
    w.A_StartVerifyCal->trigger();
    w.A_CalibrateHVStep->trigger();
    send_all_commands();
    const std::int64_t start = w.step_start;
    records(10, 100);
    w.TimerCalibrateTimer();
    // Shown once the timer's handler has returned.
    EXPECT_TRUE(prompts.messages.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to read data from the QELM.");
    EXPECT_EQ(prompts.messages[0].caption, "Unable to read data");
    EXPECT_TRUE(w.hv1_history.empty());
    EXPECT_TRUE(w.TimerCalibrate->isActive());
    EXPECT_FALSE(w.PD_HVStep->isEnabled());
    EXPECT_FALSE(w.A_CalibrateHVStep->isEnabled());
    EXPECT_TRUE(w.L_ReadingTime->isHidden());
    EXPECT_EQ(w.command_queue, (std::deque<command>{letter_O, pmt_off})); // no 'm'

    // A period later: five of the first ten records are in the window now.
    records(60, 5);
    w.TimerCalibrateTimer();
    EXPECT_EQ(w.step_start, start);
    ASSERT_EQ(w.hv1_history.size(), 1u);
    EXPECT_DOUBLE_EQ(w.hv1_history[0], (5 * 100 + 55 * 5) / 60.0);
    EXPECT_EQ(w.command_queue,
              (std::deque<command>{letter_O, pmt_off, letter_O, pmt_off, letter_m}));
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts.messages.size(), 1u);

    // A step number outside 1 to 3 ends the handler with an error and
    // leaves the step armed.
    w.A_CalibrateHVStep->setData(4);
    w.A_CalibrateHVStep->trigger();
    records(20, 1);
    try {
        w.TimerCalibrateTimer();
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Internal error in determining HV step");
    }
    EXPECT_TRUE(w.TimerCalibrate->isActive());
    EXPECT_FALSE(w.A_CalibrateHVStep->isEnabled());
}

TEST_F(calibration, the_actions_follow_the_procedure) {
    TF_Calibration& w = *F_Calibration;
    ASSERT_TRUE(F_Main->A_Record->isEnabled());
    w.A_StartVerifyCal->trigger();
    EXPECT_FALSE(w.A_StartVerifyCal->isEnabled());
    EXPECT_TRUE(w.A_CalibrateHVStep->isEnabled());
    EXPECT_TRUE(w.A_SaveStopCal->isEnabled());
    EXPECT_FALSE(F_Main->A_Record->isEnabled());
    measure(1, 20);

    // Save and stop during a running step: the step still ends and enables
    // its action again; nothing is saved with two steps never measured.
    w.A_CalibrateHVStep->trigger();
    w.A_SaveStopCal->trigger();
    EXPECT_TRUE(w.A_StartVerifyCal->isEnabled());
    EXPECT_FALSE(w.A_SaveStopCal->isEnabled());
    EXPECT_FALSE(w.A_CalibrateHVStep->isEnabled());
    EXPECT_TRUE(w.PD_HVStep->isEnabled());
    EXPECT_TRUE(F_Main->A_Record->isEnabled());
    EXPECT_TRUE(w.TimerCalibrate->isActive());
    EXPECT_EQ(w.command_queue, (std::deque<command>{letter_L, letter_M, step_1, enter, probe,
                                                    letter_n, pmt_on, pmt_on, probe}));
    EXPECT_TRUE(prompts.save_requests.empty());
    EXPECT_FALSE(std::filesystem::exists(cal_path));
    records(70, 30);
    w.TimerCalibrateTimer();
    EXPECT_EQ(w.hv1_history, (std::vector<double>{20, 30}));
    EXPECT_TRUE(w.A_CalibrateHVStep->isEnabled());

    // Start again keeps the results.
    w.A_StartVerifyCal->trigger();
    EXPECT_EQ(w.L_HV1cal->text(), "HV Step 1: 30.00");
    EXPECT_EQ(w.hv1_history.size(), 2u);

    // Disconnected, save and stop leaves Start disabled: there is nothing to
    // send to.
    F_Main->A_Connect->trigger();
    EXPECT_FALSE(w.A_StartVerifyCal->isEnabled());
    w.A_SaveStopCal->trigger();
    EXPECT_FALSE(w.A_StartVerifyCal->isEnabled());
}

TEST_F(calibration, saving_writes_the_newest_values_and_reloads_the_file) {
    TF_Calibration& w = *F_Calibration;
    write_file(cal_path, "an older file\r\n");
    w.A_StartVerifyCal->trigger();
    measure(1, 12345.678);
    EXPECT_EQ(w.L_HV1cal->text(), "HV Step 1: 12345.68");
    measure(2, 60.5);
    measure(3, 181.25);

    // Not loaded yet: the chooser, and the file replaced by one line.
    prompts.save_answers.push_back(QString::fromStdString(cal_path));
    w.A_SaveStopCal->trigger();
    ASSERT_EQ(prompts.save_requests.size(), 1u);
    EXPECT_EQ(prompts.save_requests[0], "");
    EXPECT_EQ(read_file(cal_path), "12345.7\t60.5\t181.25\tTue Nov 14 22:13:20 2023\r\n");
    EXPECT_EQ(w.E_PrevCal->text().toStdString(), cal_path);
    EXPECT_EQ(stored("calfile"), cal_path);
    EXPECT_TRUE(w.cal_loaded);
    EXPECT_EQ(w.L_HV1PrevCal->text(), "Previous calibration: 12345.70");
    EXPECT_EQ(w.L_HV3PrevCal->text(), "Previous calibration: 181.25");
    EXPECT_EQ(w.hv1_history, (std::vector<double>{12345.7}));
    EXPECT_EQ(w.Plot1->plot().GetChannel(0).PointCount(), 1);
    EXPECT_TRUE(prompts.messages.empty());

    // Loaded: a new step 2 and the file's values of the others, appended
    // without asking; the chart shows both lines.
    w.A_StartVerifyCal->trigger();
    measure(2, 59);
    clock.advance(3600);
    w.A_SaveStopCal->trigger();
    EXPECT_EQ(prompts.save_requests.size(), 1u);
    EXPECT_EQ(read_file(cal_path), "12345.7\t60.5\t181.25\tTue Nov 14 22:13:20 2023\r\n"
                                   "12345.7\t59\t181.25\tTue Nov 14 23:13:20 2023\r\n");
    const Plot& plot = w.Plot1->plot();
    for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(plot.GetChannel(c).PointCount(), 2);
        EXPECT_EQ(plot.GetChannel(c).PointX(1), 1.0);
    }
    EXPECT_EQ(plot.GetChannel(1).PointY(0), 60.5);
    EXPECT_EQ(plot.GetChannel(1).PointY(1), 59.0);

    // The path edited after a load is where the next save goes.
    const std::string other = files.file("other.txt");
    w.E_PrevCal->setText(QString::fromStdString(other));
    w.A_StartVerifyCal->trigger();
    w.A_SaveStopCal->trigger();
    EXPECT_EQ(read_file(other), "12345.7\t59\t181.25\tTue Nov 14 23:13:20 2023\r\n");
    EXPECT_EQ(w.hv1_history.size(), 1u);
    EXPECT_EQ(stored("calfile"), cal_path); // only a chosen file is remembered
}

TEST_F(calibration, saving_that_cannot_happen_writes_nothing_and_says_so) {
    TF_Calibration& w = *F_Calibration;
    w.hv1_history = {1};
    w.hv2_history = {2};
    w.hv3_history = {3};

    // The chooser cancelled: nothing written, the procedure stopped all the same.
    w.A_StartVerifyCal->trigger();
    w.A_SaveStopCal->trigger();
    EXPECT_EQ(prompts.save_requests.size(), 1u);
    EXPECT_TRUE(w.A_StartVerifyCal->isEnabled());
    EXPECT_FALSE(w.cal_loaded);

    // A file that cannot be made.
    const std::string nowhere = files.file("missing/cal.txt");
    prompts.save_answers.push_back(QString::fromStdString(nowhere));
    w.A_StartVerifyCal->trigger();
    w.A_SaveStopCal->trigger();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to open file for writing");
    EXPECT_EQ(prompts.messages[0].caption, "Error writing file");
    EXPECT_FALSE(w.cal_loaded);
    EXPECT_EQ(stored("calfile"), nowhere);

    // The disk full: the failure is told, not passed over, and the reload
    // shows what the file holds.
#ifdef __unix__
    write_file(cal_path, "1\t2\t3\tA\r\n");
    w.E_PrevCal->setText(QString::fromStdString(cal_path));
    w.LoadCalibrationFile();
    w.hv2_history.push_back(7);
    {
        file_size_limit full(16);
        w.A_StartVerifyCal->trigger();
        w.A_SaveStopCal->trigger();
    }
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, "Unable to write the calibration to the file.");
    EXPECT_EQ(prompts.messages[1].caption, "Error writing file");
    EXPECT_FALSE(prompts.messages[1].detail.isEmpty());
    EXPECT_EQ(read_file(cal_path), "1\t2\t3\tA\r\n");
    EXPECT_EQ(w.hv2_history, (std::vector<double>{2}));
#endif
}

TEST_F(calibration, loading_reads_tolerantly_and_charts_one_point_per_line) {
    TF_Calibration& w = *F_Calibration;
    write_file(cal_path, "1.5\t20\t60\tMon Jan 01 00:00:00 2024\r\n"
                         "\r\n"
                         "not a calibration\r\n"
                         "2.5 2.1e1  6.1E+01 any date\n"
                         "3.5\t22\t62");
    prompts.open_answers.push_back(QString::fromStdString(cal_path));
    w.A_LoadCalibration->trigger();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(w.hv1_history, (std::vector<double>{1.5, 2.5, 3.5}));
    EXPECT_EQ(w.hv2_history, (std::vector<double>{20, 21, 22}));
    EXPECT_EQ(w.hv3_history, (std::vector<double>{60, 61, 62}));
    EXPECT_EQ(w.L_HV1PrevCal->text(), "Previous calibration: 3.50");
    EXPECT_EQ(w.L_HV2PrevCal->text(), "Previous calibration: 22.00");
    EXPECT_EQ(w.L_HV3PrevCal->text(), "Previous calibration: 62.00");
    EXPECT_TRUE(w.cal_loaded);
    EXPECT_EQ(stored("calfile"), cal_path);

    // Loading again gives the same chart, three points per channel.
    for (int round = 0; round < 2; ++round) {
        if (round)
            w.LoadCalibrationFile();
        const Plot& plot = w.Plot1->plot();
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(plot.GetChannel(c).PointCount(), 3);
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(plot.GetChannel(c).PointX(i), double(i));
        }
        EXPECT_EQ(plot.GetChannel(2).PointY(2), 62.0);
        const PlotYAxis& y = plot.GetYAxis(0);
        EXPECT_LE(y.Min(), 1.5);
        EXPECT_GE(y.Max(), 62.0);
    }

    // A file without a readable line: empty histories and chart, and the
    // labels say so.
    write_file(cal_path, "\r\nnothing here\r\n");
    w.LoadCalibrationFile();
    EXPECT_TRUE(w.hv1_history.empty() && w.hv2_history.empty() && w.hv3_history.empty());
    EXPECT_EQ(w.L_HV2PrevCal->text(), "Previous Calibration: Not found.");
    EXPECT_EQ(w.Plot1->plot().GetChannel(0).PointCount(), 0);
}

TEST_F(calibration, a_file_that_cannot_be_opened_changes_nothing) {
    TF_Calibration& w = *F_Calibration;
    write_file(cal_path, "1 2 3\r\n");
    w.E_PrevCal->setText(QString::fromStdString(cal_path));
    w.LoadCalibrationFile();
    const std::string missing = files.file("missing.txt");
    prompts.open_answers.push_back(QString::fromStdString(missing));
    try {
        w.A_LoadCalibrationExecute();
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Unable to open file.");
    }
    EXPECT_EQ(w.E_PrevCal->text().toStdString(), missing);
    EXPECT_EQ(w.hv1_history, (std::vector<double>{1}));
    EXPECT_EQ(w.L_HV1PrevCal->text(), "Previous calibration: 1.00");
    EXPECT_EQ(w.Plot1->plot().GetChannel(0).PointCount(), 1);
    EXPECT_EQ(stored("calfile"), "");

    // Through the button, the top-level report shows it and the program goes on.
    prompts.open_answers.push_back(QString::fromStdString(missing));
    w.B_LoadCalibration->click();
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to open file.");

    // Cancelled: nothing at all.
    w.B_LoadCalibration->click();
    EXPECT_EQ(prompts.open_requests, 3);
    EXPECT_EQ(w.E_PrevCal->text().toStdString(), missing);
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(calibration, the_service_page_queues_single_commands_once_enabled) {
    TF_Calibration& w = *F_Calibration;
    w.Button6->click();
    w.Button7->click();
    w.Button11->click();
    w.Button12->click();               // "n" does nothing
    w.PD_PumpRate->setCurrentIndex(2); // nor does a pump rate
    EXPECT_EQ(w.Button11->text(), "\\n");
    EXPECT_EQ(w.command_queue, (std::deque<command>{probe, letter_O, enter}));
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_EQ(inst.received(), "");

    w.Button13->click();
    EXPECT_TRUE(w.Timer1->isActive());
    w.Button8->click();
    w.Button9->click();
    w.Button10->click();
    EXPECT_EQ(command_ticks(7), bytes({"P", "O", "\r", "L", "M", "1", ""}));
}

TEST_F(calibration, the_step_measured_is_the_one_started_whatever_the_chooser_shows_later) {
    TF_Calibration& w = *F_Calibration;
    w.A_StartVerifyCal->trigger();
    w.A_CalibrateHVStep->trigger(); // step 1
    // Save and stop frees the chooser while the step still runs.
    w.A_SaveStopCal->trigger();
    ASSERT_TRUE(w.PD_HVStep->isEnabled());
    w.PD_HVStep->setCurrentIndex(2);
    records(70, 8);
    w.TimerCalibrateTimer();
    EXPECT_EQ(w.hv1_history, (std::vector<double>{8}));
    EXPECT_TRUE(w.hv3_history.empty());
    EXPECT_EQ(w.L_HV1cal->text(), "HV Step 1: 8.00");
    EXPECT_EQ(w.L_HV3cal->text(), "HV Step 3:  Not yet calibrated");
    // The choice holds for the next step.
    EXPECT_EQ(w.A_CalibrateHVStep->text(), "Calibrate HV Step 3");
}

TEST_F(calibration, the_step_timer_ends_the_step_from_the_event_loop_and_again_until_it_has_data) {
    TF_Calibration& w = *F_Calibration;
    ASSERT_EQ(w.TimerCalibrate->interval(), 63000);
    ASSERT_FALSE(w.TimerCalibrate->isSingleShot());
    // A shorter period, so that the loop turns it twice in a moment.
    w.TimerCalibrate->setInterval(150);
    w.A_StartVerifyCal->trigger();
    w.A_CalibrateHVStep->trigger();
    // Nothing arrives: told after the first period and the second.
    QTRY_COMPARE_WITH_TIMEOUT(int(prompts.messages.size()), 2, 5000);
    EXPECT_EQ(prompts.messages[1].text, "Unable to read data from the QELM.");
    EXPECT_TRUE(w.TimerCalibrate->isActive());
    // Records come: the next period evaluates them and the timer stops.
    records(70, 4);
    QTRY_COMPARE_WITH_TIMEOUT(int(w.hv1_history.size()), 1, 5000);
    EXPECT_DOUBLE_EQ(w.hv1_history[0], 4);
    EXPECT_FALSE(w.TimerCalibrate->isActive());
    QTest::qWait(400);
    EXPECT_EQ(w.hv1_history.size(), 1u);
}

TEST_F(calibration_window, a_load_fits_the_history_charts_values_and_nothing_else) {
    create_windows();
    TF_Calibration& w = *F_Calibration;
    temp_dir files;
    const std::string path = files.file("cal.txt");
    // Values far outside the view of 0 to 100 the chart starts with.
    write_file(path, "1200\t2500\t3100\tA\r\n1300\t2600\t3000\tB\r\n");
    w.E_PrevCal->setText(QString::fromStdString(path));
    w.LoadCalibrationFile();
    const Plot& plot = w.Plot1->plot();
    EXPECT_EQ(plot.GetXAxis(0).Min(), 0);
    EXPECT_EQ(plot.GetXAxis(0).Span(), 100);
    // Not laid out yet: no marker allowance.
    EXPECT_DOUBLE_EQ(plot.GetYAxis(0).Min(), 1200);
    EXPECT_DOUBLE_EQ(plot.GetYAxis(0).Max(), 3100);

    // Shown and resized, the chart keeps its view.
    w.PageControl1->setCurrentWidget(w.TS_CalHistory);
    w.show();
    w.resize(1000, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(plot.GetXAxis(0).Min(), 0);
    EXPECT_EQ(plot.GetXAxis(0).Span(), 100);
    EXPECT_DOUBLE_EQ(plot.GetYAxis(0).Min(), 1200);
    EXPECT_DOUBLE_EQ(plot.GetYAxis(0).Max(), 3100);
}

TEST_F(calibration_window, no_key_and_no_wheel_reaches_the_service_page) {
    create_windows();
    QTabWidget* pages = F_Calibration->PageControl1;
    QTabBar* bar = pages->tabBar();
    F_Calibration->show();
    const auto wheel = [bar](int delta) {
        QWheelEvent e(QPointF(5, 5), bar->mapToGlobal(QPoint(5, 5)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(bar, &e);
    };
    struct row {
        const char* what;
        std::function<void()> act;
    };
    const row rows[] = {
        {"Ctrl+Tab", [&] { QTest::keyClick(pages, Qt::Key_Tab, Qt::ControlModifier); }},
        {"Ctrl+Shift+Tab",
         [&] { QTest::keyClick(pages, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier); }},
        {"Right on the tab bar", [&] { QTest::keyClick(bar, Qt::Key_Right); }},
        {"Left on the tab bar", [&] { QTest::keyClick(bar, Qt::Key_Left); }},
        {"wheel down", [&] { wheel(-120); }},
        {"wheel up", [&] { wheel(120); }},
    };
    for (int from : {0, 2})
        for (const row& r : rows) {
            pages->setCurrentIndex(from);
            r.act();
            EXPECT_NE(pages->currentIndex(), 1) << r.what << " from page " << from;
        }
    EXPECT_FALSE(pages->isTabVisible(1));
}

} // namespace
