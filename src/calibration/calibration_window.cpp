#include "calibration/calibration_window.h"

#include "app/application.h"
#include "app/cformat.h"
#include "app/chart_setups.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "app/widgets.h"
#include "app/windows.h"
#include "calibration/calibration_file.h"
#include "chart/plot_widget.h"
#include "link/clock.h"
#include "link/link_error.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>
#include <filesystem>
#include <stdexcept>

namespace {

using marev::cformat;
using marev::guarded;

// A path from the edit box, in the file system's own encoding.
std::filesystem::path file_path(const QString& text) {
#ifdef _WIN32
    return std::filesystem::path(text.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(text).toStdString());
#endif
}

const char* const not_calibrated[3] = {"HV Step 1:  Not yet calibrated",
                                       "HV Step 2:  Not yet calibrated",
                                       "HV Step 3:  Not yet calibrated"};
const QString no_previous = QStringLiteral("Previous Calibration: Not found.");

} // namespace

TF_Calibration::TF_Calibration(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("F_Calibration");
    setWindowTitle("Utilities");
    resize(852, 505);

    A_StartVerifyCal = make_action(this, "A_StartVerifyCal", "Start Calibration Procedure", false);
    A_LoadCalibration = make_action(this, "A_LoadCalibration", "Load Calibration", true);
    A_CalibrateHVStep = make_action(this, "A_CalibrateHVStep", "Calibrate HV Step 1", false);
    A_CalibrateHVStep->setData(1);
    A_SaveStopCal = make_action(this, "A_SaveStopCal", "Save and Stop Calibration", false);
    connect(A_StartVerifyCal, &QAction::triggered, this,
            [this] { guarded([this] { A_StartVerifyCalExecute(); }); });
    connect(A_LoadCalibration, &QAction::triggered, this,
            [this] { guarded([this] { A_LoadCalibrationExecute(); }); });
    connect(A_CalibrateHVStep, &QAction::triggered, this,
            [this] { guarded([this] { A_CalibrateHVStepExecute(); }); });
    connect(A_SaveStopCal, &QAction::triggered, this,
            [this] { guarded([this] { A_SaveStopCalExecute(); }); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { guarded([this] { Timer1Timer(); }); });
    TimerCalibrate = new QTimer(this);
    TimerCalibrate->setObjectName("TimerCalibrate");
    TimerCalibrate->setInterval(63000);
    connect(TimerCalibrate, &QTimer::timeout, this,
            [this] { guarded([this] { TimerCalibrateTimer(); }); });

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    TabSheet1 = build_verify_page();
    TabSheet3 = build_service_page();
    TS_CalHistory = build_history_page();
    PageControl1->addTab(TabSheet1, "Verify Calibrations");
    PageControl1->addTab(TabSheet3, "Black Magic Goes Here");
    PageControl1->addTab(TS_CalHistory, "Calibration History");
    // Hidden and disabled: a hidden tab that is enabled is still reached by
    // Ctrl+Tab, the arrow keys and the wheel over the tab bar. The page's
    // buttons keep working, should the page ever be shown.
    PageControl1->setTabVisible(1, false);
    PageControl1->setTabEnabled(1, false);
    TabSheet3->setEnabled(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(build_status_row());

    if (!F_Main->settings.calfile.isEmpty())
        E_PrevCal->setText(F_Main->settings.calfile);
}

QWidget* TF_Calibration::build_verify_page() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet1");

    B_StartVerifyCal = make_button("B_StartVerifyCal", {}, page);
    bind_button(B_StartVerifyCal, A_StartVerifyCal);
    E_PrevCal = new QLineEdit("No Previous Calibration", page);
    E_PrevCal->setObjectName("E_PrevCal");
    B_LoadCalibration = make_button("B_LoadCalibration", {}, page);
    bind_button(B_LoadCalibration, A_LoadCalibration);

    PD_HVStep = new QComboBox(page);
    PD_HVStep->setObjectName("PD_HVStep");
    PD_HVStep->addItems({"HV Step 1", "HV Step 2", "HV Step 3"});
    PD_HVStep->setCurrentIndex(0);
    connect(PD_HVStep, &QComboBox::currentIndexChanged, this,
            [this](int index) { guarded([&] { PD_HVStepChange(index); }); });
    B_CalibrateHVStep = make_button("B_CalibrateHVStep", {}, page);
    bind_button(B_CalibrateHVStep, A_CalibrateHVStep);

    L_ReadingTime = make_label("L_ReadingTime", "Reading for n seconds....", page);
    {
        // Keeps its place while hidden, so the rows below do not jump.
        QSizePolicy p = L_ReadingTime->sizePolicy();
        p.setRetainSizeWhenHidden(true);
        L_ReadingTime->setSizePolicy(p);
    }
    L_ReadingTime->hide();

    QLabel** results[3] = {&L_HV1cal, &L_HV2cal, &L_HV3cal};
    QLabel** previous[3] = {&L_HV1PrevCal, &L_HV2PrevCal, &L_HV3PrevCal};
    const char* result_names[3] = {"L_HV1cal", "L_HV2cal", "L_HV3cal"};
    const char* previous_names[3] = {"L_HV1PrevCal", "L_HV2PrevCal", "L_HV3PrevCal"};
    for (int i = 0; i < 3; ++i) {
        *results[i] = make_label(result_names[i], not_calibrated[i], page);
        *previous[i] = make_label(previous_names[i], no_previous, page);
    }

    B_SaveStopCal = make_button("B_SaveStopCal", {}, page);
    bind_button(B_SaveStopCal, A_SaveStopCal);
    auto* save_note = make_label(nullptr,
                                 "\"Save and Stop Calibration\" will not save if you  do not "
                                 "collect calibrations for all three HV steps.",
                                 page);
    save_note->setWordWrap(true);

    // Left: the procedure's controls, top to bottom.
    auto* left = new QGridLayout;
    left->setColumnStretch(1, 1);
    int row = 0;
    left->addWidget(B_StartVerifyCal, row++, 0, 1, 2, Qt::AlignLeft);
    left->setRowMinimumHeight(row++, 6);
    left->addWidget(make_label(nullptr, "Previous calibration", page), row++, 0, 1, 2);
    left->addWidget(E_PrevCal, row, 0, 1, 2);
    left->addWidget(B_LoadCalibration, row++, 2);
    left->setRowMinimumHeight(row++, 6);
    left->addWidget(make_label(nullptr, "Set HV step to calibrate:", page), row, 0);
    left->addWidget(PD_HVStep, row++, 1, Qt::AlignLeft);
    left->addWidget(B_CalibrateHVStep, row, 0);
    left->addWidget(L_ReadingTime, row++, 1, 1, 2);
    left->setRowMinimumHeight(row++, 6);
    for (int i = 0; i < 3; ++i) {
        left->addWidget(*results[i], row, 0);
        left->addWidget(*previous[i], row++, 1, 1, 2);
    }
    left->setRowMinimumHeight(row++, 6);
    left->addWidget(B_SaveStopCal, row++, 0, 1, 2, Qt::AlignLeft);
    left->addWidget(save_note, row++, 0, 1, 3);
    left->setRowStretch(row, 1);

    // Right: what the operator does.
    auto* right = new QVBoxLayout;
    const char* const steps[] = {
        "Procedure:",
        "1) Remove top cap and attach light wand to QELM.",
        "2) Power on and allow time for device to warm up.",
        "3) Click \"Start Calibration Procedure\".  This sets the device up for calibrations.",
        "4) Choose high voltage step to verify and manually set device to that step.",
        "5) Collect data to compare to previous calibration.",
        "6) Repeat steps (4) and (5) for each high voltage step.",
    };
    for (const char* text : steps) {
        QLabel* l = make_label(nullptr, text, page);
        l->setWordWrap(true);
        right->addWidget(l);
    }
    right->addSpacing(12);
    QLabel* guide = make_label(
        nullptr,
        "See the QELM User's Guide for more detail on calbrating the QELM.  Do not attempt to "
        "calibrate the QELM without fully reading and understanding the QELM documentation and "
        "calibration procedure.",
        page);
    guide->setWordWrap(true);
    right->addWidget(guide);
    right->addStretch(1);

    auto* columns = new QHBoxLayout(page);
    columns->addLayout(left, 11);
    columns->addSpacing(16);
    columns->addLayout(right, 9);
    return page;
}

QWidget* TF_Calibration::build_history_page() {
    auto* page = new QWidget;
    page->setObjectName("TS_CalHistory");

    Plot1 = new PlotWidget(page);
    Plot1->setObjectName("Plot1");
    Plot1->setFixedHeight(353);
    setup_calibration_chart(Plot1->plot());
    L_NoHistory =
        make_label("L_NoHistory",
                   "You have less than two points of calibration history; hence no plot.", page);
    L_NoHistory->hide();

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Plot1);
    layout->addWidget(L_NoHistory);
    layout->addStretch(1);
    return page;
}

QWidget* TF_Calibration::build_service_page() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet3");

    Button6 = make_button("Button6", "P", page);
    Button7 = make_button("Button7", "O", page);
    Button8 = make_button("Button8", "L", page);
    Button9 = make_button("Button9", "M", page);
    Button10 = make_button("Button10", "1", page);
    Button11 = make_button("Button11", "\\n", page);
    Button12 = make_button("Button12", "n", page);
    Button13 = make_button("Button13", "Enable Commands", page);
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    connect(Button8, &QPushButton::clicked, this, [this] { Button8Click(); });
    connect(Button9, &QPushButton::clicked, this, [this] { Button9Click(); });
    connect(Button10, &QPushButton::clicked, this, [this] { Button10Click(); });
    connect(Button11, &QPushButton::clicked, this, [this] { Button11Click(); });
    connect(Button13, &QPushButton::clicked, this, [this] { Button13Click(); });

    PD_PumpRate = new QComboBox(page);
    PD_PumpRate->setObjectName("PD_PumpRate");
    PD_PumpRate->setEditable(true);
    PD_PumpRate->addItems({"Slow", "Medium", "Fast"});
    PD_PumpRate->setCurrentIndex(-1);
    PD_PumpRate->setEditText("PD_PumpRate");
    PD_PumpRate->setMinimumContentsLength(12);
    PD_PumpRate->lineEdit()->setCursorPosition(0);

    auto* small = new QVBoxLayout;
    for (QPushButton* b : {Button6, Button7, Button8, Button9, Button10, Button11, Button12}) {
        b->setFixedWidth(40);
        small->addWidget(b);
    }
    auto* top = new QHBoxLayout;
    top->addLayout(small);
    top->addStretch(1);
    top->addWidget(Button13, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(top);
    layout->addStretch(1);
    layout->addWidget(PD_PumpRate, 0, Qt::AlignLeft);
    return page;
}

QLayout* TF_Calibration::build_status_row() {
    L_PMT = make_label("L_PMT", "PMT status: unknown", this);
    L_Pump = make_label("L_Pump", "Pump status: unknown", this);
    L_Time = make_label("L_Time", "Time", this);
    const auto button = [this](const char* name, QAction* action) {
        auto* b = make_button(name, {}, this);
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
    status->setColumnMinimumWidth(0,
                                  L_Pump->fontMetrics().horizontalAdvance("Pump Status: Off") + 12);
    status->setColumnStretch(3, 1);
    return status;
}

// What the main window tells this one.

void TF_Calibration::connection_changed(bool open) {
    A_StartVerifyCal->setEnabled(open);
}

void TF_Calibration::show_instrument_state(bool pump_on, bool pmt_on) {
    L_Pump->setText(pump_on ? "Pump Status: On" : "Pump Status: Off");
    L_PMT->setText(pmt_on ? "PMT Status: On" : "PMT Status: Off");
}

void TF_Calibration::show_time(const QString& text) {
    L_Time->setText(text);
}

bool TF_Calibration::count_down() {
    if (countdown == 0)
        return false;
    L_ReadingTime->setText(cformat("Recording for %i more seconds...", countdown));
    --countdown;
    return true;
}

// Command pacing.

void TF_Calibration::QueueCommand(command code) {
    command_queue.push_back(code);
}

void TF_Calibration::Timer1Timer() {
    if (command_queue.empty())
        return;
    // Taken off first: a code the reader refused must not block the queue.
    const command code = command_queue.front();
    command_queue.pop_front();
    F_Main->reader->send_command(code);
}

// The procedure.

void TF_Calibration::A_StartVerifyCalExecute() {
    QueueCommand(command::letter_O);
    QueueCommand(command::pump_off);
    A_StartVerifyCal->setEnabled(false);
    A_CalibrateHVStep->setEnabled(true);
    A_SaveStopCal->setEnabled(true);
    F_Main->allow_recording(false);
    if (!Timer1->isActive())
        Timer1->start();
}

void TF_Calibration::PD_HVStepChange(int index) {
    if (index < 0)
        return;
    A_CalibrateHVStep->setData(index + 1);
    A_CalibrateHVStep->setText(cformat("Calibrate HV Step %i", index + 1));
}

void TF_Calibration::A_CalibrateHVStepExecute() {
    const int n = A_CalibrateHVStep->data().toInt();
    // The chooser is free again after a save and stop; what it shows later
    // must not decide where this step's value goes.
    step_measured = n;
    step_start = static_cast<std::int64_t>(F_Main->reader->record_count()) + 5;
    QueueCommand(command::letter_L);
    QueueCommand(command::letter_M);
    QueueCommand(step_command(n));
    QueueCommand(command::enter);
    QueueCommand(command::probe);
    QueueCommand(command::letter_n);
    QueueCommand(command::pmt_on);
    PD_HVStep->setEnabled(false);
    TimerCalibrate->start();
    A_CalibrateHVStep->setEnabled(false);
    countdown = 60;
    // Until the main window's next second replaces it by the countdown; not
    // the last step's "1 more seconds".
    L_ReadingTime->setText("Reading for n seconds....");
    L_ReadingTime->show();
}

void TF_Calibration::TimerCalibrateTimer() {
    QueueCommand(command::letter_O);
    QueueCommand(command::pmt_off);
    const qelm_reader& reader = *F_Main->reader;
    // The first and the last five records of the step are left out: the
    // instrument is still switching, or already switching back.
    const std::int64_t end = static_cast<std::int64_t>(reader.record_count()) - 5;
    L_ReadingTime->hide();
    if (end <= step_start) {
        // The step stays armed and is evaluated again a period later.
        marev::tell_later("Unable to read data from the QELM.", "Unable to read data");
        return;
    }

    double sum = 0;
    for (std::int64_t r = step_start; r < end; ++r)
        for (std::size_t j = 0; j < 60; ++j)
            sum += reader.raw_count(static_cast<std::size_t>(r), j);
    sum *= 1.0 / 60;
    sum /= static_cast<double>(end - step_start);

    switch (step_measured) {
    case 1:
        hv1_history.push_back(sum);
        L_HV1cal->setText(cformat("HV Step 1: %.2f", sum));
        break;
    case 2:
        hv2_history.push_back(sum);
        L_HV2cal->setText(cformat("HV Step 2: %.2f", sum));
        break;
    case 3:
        hv3_history.push_back(sum);
        L_HV3cal->setText(cformat("HV Step 3: %.2f", sum));
        break;
    default:
        throw std::runtime_error("Internal error in determining HV step");
    }

    L_ReadingTime->hide();
    PD_HVStep->setEnabled(true);
    A_CalibrateHVStep->setEnabled(true);
    TimerCalibrate->stop();
    QueueCommand(command::letter_m);
}

void TF_Calibration::A_SaveStopCalExecute() {
    // Start needs a connection to send to, as when the main window connects.
    A_StartVerifyCal->setEnabled(F_Main->reader->port_open());
    A_SaveStopCal->setEnabled(false);
    A_CalibrateHVStep->setEnabled(false);
    F_Main->allow_recording(true);
    PD_HVStep->setEnabled(true);
    QueueCommand(command::pmt_on);
    QueueCommand(command::probe);
    save_calibration();
}

// The calibration file.

void TF_Calibration::save_calibration() {
    if (hv1_history.empty() || hv2_history.empty() || hv3_history.empty())
        return;

    calibration_save mode = calibration_save::append;
    bool chosen_here = false;
    if (!cal_loaded) {
        const std::optional<QString> chosen = marev::current_prompts().save_file(QString());
        if (!chosen)
            return;
        E_PrevCal->setText(*chosen);
        mode = calibration_save::replace;
        chosen_here = true;
    }

    const calibration_values values{hv1_history.back(), hv2_history.back(), hv3_history.back()};
    const std::string line = calibration_line(values, marev::clock_text(marev::local_now()));
    const calibration_save_result saved =
        save_calibration_line(file_path(E_PrevCal->text()), line, mode);

    // The setting follows a file chosen here, once the line is safe.
    std::exception_ptr settings_error;
    if (chosen_here) {
        try {
            F_Main->remember_calibration_file(E_PrevCal->text());
        } catch (...) {
            settings_error = std::current_exception();
        }
    }

    if (!saved.opened) {
        marev::current_prompts().message("Unable to open file for writing", "Error writing file",
                                         QString::fromStdString(saved.error));
    } else {
        if (!saved.written)
            marev::current_prompts().message("Unable to write the calibration to the file.",
                                             "Error writing file",
                                             QString::fromStdString(saved.error));
        LoadCalibrationFile();
    }
    if (settings_error)
        std::rethrow_exception(settings_error);
}

void TF_Calibration::A_LoadCalibrationExecute() {
    const std::optional<QString> chosen = marev::current_prompts().open_file();
    if (!chosen)
        return;
    E_PrevCal->setText(*chosen);
    LoadCalibrationFile();
    F_Main->remember_calibration_file(E_PrevCal->text());
}

void TF_Calibration::LoadCalibrationFile() {
    std::string why;
    std::optional<calibration_history> loaded =
        load_calibration_file(file_path(E_PrevCal->text()), &why);
    if (!loaded)
        throw link_error("Unable to open file.", why);

    hv1_history = std::move(loaded->hv1);
    hv2_history = std::move(loaded->hv2);
    hv3_history = std::move(loaded->hv3);
    const std::vector<double>* histories[3] = {&hv1_history, &hv2_history, &hv3_history};
    QLabel* labels[3] = {L_HV1PrevCal, L_HV2PrevCal, L_HV3PrevCal};
    for (int i = 0; i < 3; ++i)
        labels[i]->setText(histories[i]->empty()
                               ? no_previous
                               : cformat("Previous calibration: %.2f", histories[i]->back()));
    cal_loaded = true;

    Plot& plot = Plot1->plot();
    for (int c = 0; c < 3; ++c)
        plot.GetChannel(c).ClearPoints();
    for (std::size_t i = 0; i < hv1_history.size(); ++i)
        for (int c = 0; c < 3; ++c)
            plot.GetChannel(c).AddPoint(double(i), (*histories[c])[i]);
    fit_history_chart();
}

void TF_Calibration::fit_history_chart() {
    // The values only; the X axis keeps its view, and the chart changes only
    // when a file is loaded.
    Plot1->plot().GetYAxis(0).FitToData();
}

// The service page: single commands into the queue.

void TF_Calibration::Button6Click() {
    QueueCommand(command::probe);
}
void TF_Calibration::Button7Click() {
    QueueCommand(command::letter_O);
}
void TF_Calibration::Button8Click() {
    QueueCommand(command::letter_L);
}
void TF_Calibration::Button9Click() {
    QueueCommand(command::letter_M);
}
void TF_Calibration::Button10Click() {
    QueueCommand(command::step_1);
}
void TF_Calibration::Button11Click() {
    QueueCommand(command::enter);
}
void TF_Calibration::Button13Click() {
    if (!Timer1->isActive())
        Timer1->start();
}
