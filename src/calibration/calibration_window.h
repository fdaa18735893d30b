#pragma once

#include "link/command.h"

#include <QWidget>

#include <cstdint>
#include <deque>
#include <vector>

class PlotWidget;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

// "Utilities": the check of the PMT's three high-voltage steps. The window
// queues the instrument's calibration commands and sends one a second, reads
// about a minute of records per step and averages their raw counts, and keeps
// the results in the calibration file, whose history it charts. The status
// row below the pages (pump, PMT and the clock) is kept up to date by the
// main window's timers; its buttons share the main window's pump and PMT
// actions, which send at once. While the procedure runs, the main window
// does not record.
class TF_Calibration : public QWidget {
public:
    explicit TF_Calibration(QWidget* parent = nullptr);

    // What the main window tells this one.
    // The connection opened or closed: the procedure starts only while it is open.
    void connection_changed(bool open);
    // The pump and the PMT as the newest record shows them.
    void show_instrument_state(bool pump_on, bool pmt_on);
    // The clock's time, once a second.
    void show_time(const QString& text);
    // Once a second: while a step reads, shows the seconds left and counts
    // them down. False when no step is reading.
    bool count_down();

    // Appends a command code to the queue; Timer1 sends it in its turn.
    void QueueCommand(command code);
    // Sends the command at the front of the queue, if any: one a tick.
    void Timer1Timer();

    void A_StartVerifyCalExecute();
    void PD_HVStepChange(int index);
    void A_CalibrateHVStepExecute();
    // The end of a step: averages the records that arrived during it.
    void TimerCalibrateTimer();
    void A_SaveStopCalExecute();

    void A_LoadCalibrationExecute();
    // (Re)loads the file named in E_PrevCal into the histories, the previous-
    // calibration labels and the chart. Throws "Unable to open file." and
    // then changes nothing.
    void LoadCalibrationFile();

    // The service page.
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void Button10Click();
    void Button11Click();
    void Button13Click();

    // Data.
    std::deque<command> command_queue;
    std::vector<double> hv1_history;
    std::vector<double> hv2_history;
    std::vector<double> hv3_history;
    // First record of the running step's averaging window.
    std::int64_t step_start = 0;
    // The step being measured, 1 to 3: fixed when the step starts.
    int step_measured = 1;
    // Seconds left of the current step's reading; the main window's
    // one-second timer counts it down and shows it in L_ReadingTime.
    int countdown = 0;
    bool cal_loaded = false;

    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet3;
    QWidget* TS_CalHistory;

    // "Verify Calibrations".
    QAction* A_StartVerifyCal;
    QAction* A_LoadCalibration;
    QAction* A_CalibrateHVStep; // its data() is the step chosen, 1 to 3
    QAction* A_SaveStopCal;
    QPushButton* B_StartVerifyCal;
    QLineEdit* E_PrevCal;
    QPushButton* B_LoadCalibration;
    QComboBox* PD_HVStep;
    QPushButton* B_CalibrateHVStep;
    QLabel* L_ReadingTime;
    QLabel* L_HV1cal;
    QLabel* L_HV2cal;
    QLabel* L_HV3cal;
    QLabel* L_HV1PrevCal;
    QLabel* L_HV2PrevCal;
    QLabel* L_HV3PrevCal;
    QPushButton* B_SaveStopCal;

    // "Calibration History".
    PlotWidget* Plot1;
    QLabel* L_NoHistory;

    // "Black Magic Goes Here", the service page.
    QPushButton* Button6;
    QPushButton* Button7;
    QPushButton* Button8;
    QPushButton* Button9;
    QPushButton* Button10;
    QPushButton* Button11;
    QPushButton* Button12;
    QPushButton* Button13;
    QComboBox* PD_PumpRate;

    // Status row.
    QLabel* L_PMT;
    QPushButton* B_PMTOn;
    QPushButton* B_PMTOff;
    QLabel* L_Pump;
    QPushButton* B_PumpOn;
    QPushButton* B_PumpOff;
    QLabel* L_Time;

    QTimer* Timer1;
    QTimer* TimerCalibrate;

private:
    QWidget* build_verify_page();
    QWidget* build_history_page();
    QWidget* build_service_page();
    QLayout* build_status_row();
    // Step 5 of save and stop: the newest value of each step to the file.
    void save_calibration();
    void fit_history_chart();
};
