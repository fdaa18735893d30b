#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QWindow;

// "Set Schedule": a run of timed record samples. The window sets the
// schedule's state in the main window and starts each sample; the main
// window's one-second timer ends a sample at its stop time and starts the
// next through StartSample(). Every sample reads the length, the unit and
// the folder from the boxes as they stand when it starts.
class TF_Schedule : public QWidget {
public:
    explicit TF_Schedule(QWidget* parent = nullptr);

    // The window became the program's active window: the folder box shows
    // the stored folder again.
    void FormActivate();
    // Once a second, shown or not: when a sample started now would stop.
    void Timer1Timer();
    void A_CancelExecute();
    void A_ChooseDirExecute();
    // Sets the schedule and starts its first sample; its errors are shown
    // here ("Error writing file").
    void A_SetScheduleExecute();
    // Starts one sample: its stop time, a cleared reader, a new file in the
    // folder of E_SaveDir. Throws what opening the file throws, with the
    // stop time set and the reader cleared.
    void StartSample();

    QLabel* Label1;
    QRadioButton* RB_Once;
    QRadioButton* RB_Reps;
    QLabel* Label2;
    QLineEdit* E_Reps;
    QLabel* Label3;
    QRadioButton* RB_Forever;
    QLabel* Label4;
    QLineEdit* E_RunFor;
    QComboBox* PD_TimeUnits;
    QLabel* Label5;
    QLineEdit* E_SaveDir;
    QPushButton* B_ChooseDir;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* L_IfSetNow;
    QLabel* L_TimeStopped;
    QPushButton* B_Cancel;
    QPushButton* B_SetSchedule;

    QAction* A_ChooseDir;
    QAction* A_Cancel;
    QAction* A_SetSchedule;

    QTimer* Timer1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // When a sample started at now ends, kept within the clock's range.
    std::int64_t stop_time(std::int64_t now) const;
    // Why a schedule set now cannot run (a length or path out of range, a
    // recording already writing its file), or nothing.
    std::optional<QString> refusal() const;
    void focus_window_changed(QWindow* window);

    // Which kind of window had the focus last: none yet, this one, another
    // of the program's windows, or anything else (a dialog, a drop-down).
    enum class focus_kind { none, self, program, other };
    focus_kind last_focus_ = focus_kind::none;
    bool placed_ = false;
};
