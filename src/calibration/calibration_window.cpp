#include "calibration/calibration_window.h"

#include "app/action_button.h"
#include "app/main_window.h"
#include "app/windows.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

TF_Calibration::TF_Calibration(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("F_Calibration");
    setWindowTitle("Utilities");
    resize(852, 505);

    A_StartVerifyCal = new QAction("Start Calibration Procedure", this);
    A_StartVerifyCal->setObjectName("A_StartVerifyCal");
    A_StartVerifyCal->setEnabled(false);
    addAction(A_StartVerifyCal);
    connect(A_StartVerifyCal, &QAction::triggered, this, [this] { A_StartVerifyCalExecute(); });

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName("TabSheet1");
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName("TabSheet3");
    TS_CalHistory = new QWidget;
    TS_CalHistory->setObjectName("TS_CalHistory");
    PageControl1->addTab(TabSheet1, "Verify Calibrations");
    PageControl1->addTab(TabSheet3, "Black Magic Goes Here");
    PageControl1->addTab(TS_CalHistory, "Calibration History");
    PageControl1->setTabVisible(1, false);

    B_StartVerifyCal = new QPushButton(TabSheet1);
    B_StartVerifyCal->setObjectName("B_StartVerifyCal");
    bind_button(B_StartVerifyCal, A_StartVerifyCal);
    auto* prev_caption = new QLabel("Previous calibration", TabSheet1);
    E_PrevCal = new QLineEdit("No Previous Calibration", TabSheet1);
    E_PrevCal->setObjectName("E_PrevCal");
    L_ReadingTime = new QLabel(TabSheet1);
    L_ReadingTime->setObjectName("L_ReadingTime");
    auto* page = new QVBoxLayout(TabSheet1);
    page->addWidget(B_StartVerifyCal, 0, Qt::AlignLeft);
    page->addWidget(prev_caption);
    page->addWidget(E_PrevCal);
    page->addWidget(L_ReadingTime);
    page->addStretch(1);

    // Status row, always visible below the pages.
    L_PMT = new QLabel("PMT status: unknown", this);
    L_PMT->setObjectName("L_PMT");
    L_Pump = new QLabel("Pump status: unknown", this);
    L_Pump->setObjectName("L_Pump");
    L_Time = new QLabel("Time", this);
    L_Time->setObjectName("L_Time");
    const auto button = [this](const char* name, QAction* action) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        bind_button(b, action);
        return b;
    };
    B_PMTOn = button("B_PMTOn", F_Main->A_PMTOn);
    B_PMTOff = button("B_PMTOff", F_Main->A_PMTOff);
    B_PumpOn = button("B_PumpOn", F_Main->A_PumpOn);
    B_PumpOff = button("B_PumpOff", F_Main->A_PumpOff);

    auto* status = new QGridLayout;
    status->addWidget(L_PMT, 0, 0);
    status->addWidget(B_PMTOn, 0, 1);
    status->addWidget(B_PMTOff, 0, 2);
    status->addWidget(L_Pump, 1, 0);
    status->addWidget(B_PumpOn, 1, 1);
    status->addWidget(B_PumpOff, 1, 2);
    status->addWidget(L_Time, 0, 4, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
    status->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(status);

    if (!F_Main->settings.calfile.isEmpty())
        E_PrevCal->setText(F_Main->settings.calfile);
}

void TF_Calibration::A_StartVerifyCalExecute() {}
