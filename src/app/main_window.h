#pragma once

#include "app/reg.h"
#include "link/qelm_reader.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>

class PlotWidget;
class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTimer;
class badge;
class port_chooser;

// The main window: owner of the instrument link and the settings, every user
// command of the program in one action list, the connection state machine on
// the fast timer, and the live display of the instrument's records.
class TF_Main : public QMainWindow {
public:
    // State of the connection and display machine; not consulted while the
    // fast timer is stopped.
    enum link_states { Probing, Identifying, NewSample, TimedOut, Running };

    // Fast-timer ticks without progress after which the instrument counts as
    // silent: 6 seconds at 50 ms.
    static constexpr std::uint32_t wait_limit = 120;

    explicit TF_Main(QWidget* parent = nullptr);
    ~TF_Main() override;

    // Handlers, public so that the other windows and the tests call them.
    void A_ConnectExecute();
    void SwitchConnection(bool on);
    void UD_SerialClick();
    void A_RecordClick();
    void A_StopScheduleExecute();
    void A_PumpOnClick();
    void A_PumpOffClick();
    void A_PMTOnClick();
    void A_PMTOffClick();
    void A_SetScheduleExecute();
    void A_CalibrationWindowExecute();
    void A_TerminalWindowExecute();
    void A_OptionsExecute();
    // "Open Record File...": a window on a record file the user chooses.
    void A_OpenRecordExecute();
    // "E&xit": writes and closes an open record file, then ends the process
    // with status 0.
    void MExitClick();
    // "&About...": the name, version and purpose of the program.
    void MAboutClick();
    static QString about_text();
    // The fast tick: poll, link step, display step.
    void Timer1Timer();
    // The one-second tick.
    void TimerMinuteTimer();
    // A_Record and the recording flag in their started or stopped form.
    void ShowRecordingState(bool on);
    // A new sample starts: the display restarts from the reader's first
    // record (link_state NewSample), unless the instrument is still being
    // probed or identified, or timed out, which goes on.
    void restart_display();
    // The record file name for the current serial number and local time.
    QString DefaultRecordName() const;

    // Gives the reader's good lines to the terminal window.
    void attach_reader();

    // What the other windows do to this one.
    // The calibration procedure forbids recording while it runs.
    void allow_recording(bool allowed);
    // The record format of the Options window: in force at once, then stored.
    void set_include_time(bool include_time);
    // Stored for the next start: the calibration file chosen or loaded, the
    // folder of a schedule's samples. Throw what storing throws.
    void remember_calibration_file(const QString& path);
    void remember_save_folder(const QString& folder);
    // The schedule: the samples left after the running one (below zero, no
    // end); a sample begins, its stop time set and the reader emptied; its
    // file opened and shown (throws what opening throws); Stop Scheduled
    // Recording offered.
    void set_reps_left(std::int32_t reps);
    void begin_sample(std::int64_t stop);
    void open_sample_file(const QString& path);
    void show_stop_schedule();
    // A schedule whose first sample could not start: nothing stays armed, and
    // the record action is as it was before.
    void abandon_schedule(bool record_visible, bool record_enabled);

    // Data, public for the other windows and the tests to read.
    std::unique_ptr<qelm_reader> reader;
    reg settings;
    link_states link_state = Probing;
    std::uint32_t wait_ticks = 0;
    std::uint32_t shown = 0;
    bool recording = false;
    std::int64_t schedule_stop = 0;
    std::int32_t reps_left = 0;
    QString record_path;

    // Left panel.
    QLabel* Label1;
    QLabel* Label12;
    QLineEdit* E_Serial;
    port_chooser* UD_Serial;
    QLabel* Label4;
    QLabel* L_CommStatus;
    QPushButton* B_Connect;
    QPushButton* B_Record;
    QPushButton* B_StopSchedule;
    QLabel* L_RecordingTo;
    QLineEdit* L_FileName;
    QLabel* L_FileSize;
    QLabel* L_TimeRecording;
    QLabel* Label2;
    QLabel* L_Time;
    QLabel* L_Serial;
    QLabel* L_DataCounter;
    QLabel* L_CalCoeff;
    QLabel* L_PumpRPM;
    QLabel* L_FlowRPM;
    QLabel* L_PMTvoltage;
    QLabel* L_HVControl;
    QLabel* L_Raw;
    QLabel* L_AveBL;
    badge* I_PMTOn;
    badge* I_PMTOff;
    badge* I_PumpOn;
    badge* I_PumpOff;
    badge* I_PMTTooHigh;
    QLabel* L_PMTTooHigh;
    QPushButton* B_PumpOn;
    QPushButton* B_PumpOff;

    // Charts: the 60 counts of the latest record above, the bioluminescence
    // of every record below.
    QSplitter* Splitter1;
    PlotWidget* Plot2;
    PlotWidget* Plot1;
    QLineEdit* E_PMTOff;

    QAction* A_Connect;
    QAction* A_Record;
    QAction* A_StopSchedule;
    QAction* A_PumpOn;
    QAction* A_PumpOff;
    QAction* A_PMTOn;
    QAction* A_PMTOff;
    QAction* A_SetSchedule;
    QAction* A_CalibrationWindow;
    QAction* A_TerminalWindow;
    QAction* A_Options;
    QAction* A_OpenRecord;
    QAction* MExit;
    QAction* MAbout;
    QAction* MHelp;

    QTimer* Timer1;
    QTimer* TimerMinute;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* build_panel();
    void build_actions();
    void build_menu();
    void display_step();
    void place_pmt_off_text();
    // Writes what the reader took and closes its record file.
    void finish_record_file();
    // No schedule runs any more: the record action back in its idle form.
    void end_schedule();
    // The device hung up (adapter pulled, cable cut): the disconnect sequence,
    // with the record file holding every line received.
    void lose_instrument();
    // finish_record_file(), then the final size and time, and a failed write
    // told if it was not yet.
    void end_record_file();
    // The size and time texts of the running recording at clock time now.
    void show_progress(std::int64_t now);
    // Tells the user, once per recording, that its file cannot be written.
    void check_record_file();
    // Shows a message box from the event loop instead of inside a tick, so
    // that both timers keep running while it is open.
    void tell_later(const QString& text, const QString& caption, const QString& detail);

    // The user was told that the current recording's file cannot be written.
    bool write_error_told_ = false;
};
