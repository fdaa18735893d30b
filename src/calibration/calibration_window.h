#pragma once

#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

// "Utilities": the check of the PMT's high-voltage steps. The status row
// below the pages (pump, PMT and the clock) is kept up to date by the main
// window's timers; its buttons share the main window's pump and PMT actions.
class TF_Calibration : public QWidget {
public:
    explicit TF_Calibration(QWidget* parent = nullptr);

    void A_StartVerifyCalExecute();

    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet3;
    QWidget* TS_CalHistory;

    QAction* A_StartVerifyCal;
    QPushButton* B_StartVerifyCal;
    QLineEdit* E_PrevCal;

    QLabel* L_PMT;
    QPushButton* B_PMTOn;
    QPushButton* B_PMTOff;
    QLabel* L_Pump;
    QPushButton* B_PumpOn;
    QPushButton* B_PumpOff;
    QLabel* L_Time;

    // Seconds left of the current step's reading; the main window's
    // one-second timer counts it down and shows it in L_ReadingTime.
    int countdown = 0;
    QLabel* L_ReadingTime;
};
