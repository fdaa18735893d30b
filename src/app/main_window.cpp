#include "app/main_window.h"

#include "app/application.h"
#include "app/badge.h"
#include "app/cformat.h"
#include "app/chart_setups.h"
#include "app/options_window.h"
#include "app/port_chooser.h"
#include "app/prompts.h"
#include "app/record_view.h"
#include "app/serial_ports_window.h"
#include "app/sleep_inhibitor.h"
#include "app/widgets.h"
#include "app/windows.h"
#include "calibration/calibration_window.h"
#include "chart/plot_widget.h"
#include "link/clock.h"
#include "link/event_log.h"
#include "link/link_error.h"
#include "link/record_file.h"
#include "schedule/schedule_window.h"
#include "terminal/terminal_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

namespace {

using marev::cformat;

const QColor badge_blue(0x1e, 0x6a, 0xd0);
const QColor badge_red(0xc8, 0x24, 0x24);
const QColor banner_red(0xd4, 0x12, 0x2c);
const QColor banner_magenta(0xc2, 0x1e, 0xc8);
const QColor pmt_off_grey(128, 128, 128);

const QString cannot_write_text = QStringLiteral("File cannot be written!");

// Sizes and durations are 64-bit: a file past 2 GiB shows its true size.
QString size_text(std::int64_t s) {
    if (s < 1024)
        return cformat("File size: %lld bytes", static_cast<long long>(s));
    if (s < 1048576)
        return cformat("File size: %lld KB", static_cast<long long>(s / 1024));
    return cformat("File size: %.1f MB", double(s) / 1048576);
}

QString time_text(std::int64_t t) {
    if (t < 60)
        return cformat("Recorded for %lld seconds", static_cast<long long>(t));
    if (t < 120)
        return QStringLiteral("Recorded for 1 minute");
    if (t < 3600)
        return cformat("Recorded for %lld minutes", static_cast<long long>(t / 60));
    return cformat("Recorded for %.1f hours", double(t) / 3600);
}

void log_event(const QString& text) {
    marev::log_event(text.toStdString());
}

// Seconds without a record after which a running instrument counts as silent.
constexpr std::int64_t silence_limit = 5;

} // namespace

TF_Main::TF_Main(QWidget* parent) : QMainWindow(parent) {
    setObjectName("F_Main");
    setWindowTitle("Marev ;)");

    build_actions();
    build_menu();

    Plot2 = new PlotWidget;
    Plot2->setObjectName("Plot2");
    setup_raw_counts_chart(Plot2->plot());
    Plot1 = new PlotWidget;
    Plot1->setObjectName("Plot1");
    setup_bioluminescence_chart(Plot1->plot());
    connect(A_WholeRun, &QAction::triggered, Plot1, &PlotWidget::show_whole_run);
    connect(Plot1, &PlotWidget::view_changed, A_WholeRun,
            [this](plot_view view) { A_WholeRun->setChecked(view == plot_view::whole_run); });

    // The "PMT is turned off!" notice lies over the upper chart, centred.
    E_PMTOff = new QLineEdit("PMT is turned off!", Plot2);
    E_PMTOff->setObjectName("E_PMTOff");
    E_PMTOff->setEnabled(false);
    E_PMTOff->setReadOnly(true);
    E_PMTOff->setAlignment(Qt::AlignCenter);
    E_PMTOff->setFocusPolicy(Qt::NoFocus);
    {
        QFont f("Arial Rounded MT Bold");
        f.setStyleHint(QFont::SansSerif);
        f.setPointSize(26);
        f.setBold(true);
        E_PMTOff->setFont(f);
    }
    E_PMTOff->setStyleSheet(
        "QLineEdit { color: #ffe08a; background: rgba(40, 40, 40, 215);"
        " border: 2px solid #ffe08a; border-radius: 22px; padding: 6px 18px; }");
    E_PMTOff->hide();
    Plot2->installEventFilter(this);

    Splitter1 = new QSplitter(Qt::Vertical);
    Splitter1->setObjectName("Splitter1");
    Splitter1->addWidget(Plot2);
    Splitter1->addWidget(Plot1);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setStyleSheet("QSplitter::handle { background: #2b2b2b; }");
    Splitter1->setSizes({697 - 321 - Splitter1->handleWidth(), 321});

    auto* central = new QWidget;
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(build_panel());
    row->addWidget(Splitter1, 1);
    setCentralWidget(central);

    // A client area of 903 by 697 below the menu, centred on the screen.
    resize(903, 697 + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(50);
    connect(Timer1, &QTimer::timeout, this, [this] { marev::guarded([this] { Timer1Timer(); }); });
    TimerMinute = new QTimer(this);
    TimerMinute->setObjectName("TimerMinute");
    TimerMinute->setInterval(1000);
    connect(TimerMinute, &QTimer::timeout, this,
            [this] { marev::guarded([this] { TimerMinuteTimer(); }); });
    TimerReconnect = new QTimer(this);
    TimerReconnect->setObjectName("TimerReconnect");
    TimerReconnect->setSingleShot(true);
    connect(TimerReconnect, &QTimer::timeout, this,
            [this] { marev::guarded([this] { TimerReconnectTimer(); }); });

    free_space = [](const std::string& path) {
        std::error_code ec;
        const std::filesystem::space_info s = std::filesystem::space(path, ec);
        return ec ? std::uintmax_t(-1) : s.available;
    };

    inhibitor = make_system_inhibitor();

    reader = std::make_unique<qelm_reader>();
    attach_reader();
    settings.load();
    reps_left = 0;
    UD_Serial->setValue(settings.commport);
    reader->set_include_time(settings.include_time);
    TimerMinute->start();
}

TF_Main::~TF_Main() {
    Timer1->stop();
    TimerMinute->stop();
    if (awake_held_)
        inhibitor->release();
    finish_record_file();
    try {
        reader->disconnect();
    } catch (const std::exception&) {
        // The program is ending; there is nobody left to tell.
    }
}

QWidget* TF_Main::build_panel() {
    auto* panel = new QWidget;
    panel->setObjectName("Panel1");
    panel->setFixedWidth(225);
    panel->setAutoFillBackground(true);
    // A compact face, so that the longest status texts fit the fixed width.
    {
        QFont f = panel->font();
        f.setPointSizeF(8);
        panel->setFont(f);
    }

    Label1 = make_label("Label1",
                        "<span style=\"font-size:11pt\"><b>Marev</b></span><br>Keeps an eye on the "
                        "QELM bioluminescence instrument, "
                        "so that you can keep both of yours on the sample ;)",
                        panel);
    Label1->setWordWrap(true);

    Label12 = make_label("Label12", "Com Port", panel);
    UD_Serial = new port_chooser(panel);
    UD_Serial->setObjectName("UD_Serial");
    UD_Serial->setValue(4);
    UD_Serial->on_click = [this] { marev::guarded([this] { UD_SerialClick(); }); };
    E_Serial = UD_Serial->edit();
    E_Serial->setObjectName("E_Serial");
    UD_Serial->setFixedWidth(31 + UD_Serial->sizeHint().width() -
                             UD_Serial->fontMetrics().horizontalAdvance("100"));

    Label4 = make_label("Label4", "Communication Status:", panel);
    L_CommStatus = make_label("L_CommStatus", "Haven't even tried yet.", panel);
    L_CommStatus->setWordWrap(true);
    {
        QFont f = L_CommStatus->font();
        f.setBold(true);
        L_CommStatus->setFont(f);
    }

    // Below the status: how long a running instrument has been silent.
    L_NoData = make_label("L_NoData", QString(), panel);
    L_NoData->setWordWrap(true);
    L_NoData->setStyleSheet("color: #c82424;");
    L_NoData->hide();

    B_Connect = make_button("B_Connect", {}, panel);
    B_Connect->setToolTip("Verify and establish communication with the instrument");
    bind_button(B_Connect, A_Connect);
    B_Record = make_button("B_Record", {}, panel);
    bind_button(B_Record, A_Record);
    B_StopSchedule = make_button("B_StopSchedule", {}, panel);
    bind_button(B_StopSchedule, A_StopSchedule);

    L_RecordingTo = make_label("L_RecordingTo", "Recording to:", panel);
    L_FileName = new QLineEdit(panel);
    L_FileName->setObjectName("L_FileName");
    L_FileName->setReadOnly(true);
    // A long path shows its end, where the file's own name is.
    L_FileName->setAlignment(Qt::AlignRight);
    L_FileSize = make_label("L_FileSize", "Filesize", panel);
    L_TimeRecording = make_label("L_TimeRecording", "Time Recording", panel);
    // Beside the size: the disk that holds the file is nearly full.
    L_DiskSpace = make_label("L_DiskSpace", QString(), panel);
    L_DiskSpace->setStyleSheet("color: #c82424; font-weight: bold;");
    L_DiskSpace->hide();
    for (QWidget* w : {static_cast<QWidget*>(L_RecordingTo), static_cast<QWidget*>(L_FileName),
                       static_cast<QWidget*>(L_FileSize), static_cast<QWidget*>(L_TimeRecording)})
        w->hide();

    Label2 = make_label("Label2", "Information and statistics:", panel);
    L_Time = make_label("L_Time", "Time", panel);
    L_Time->setAlignment(Qt::AlignRight | Qt::AlignTop);

    L_Serial = make_label("L_Serial", "Instrument Serial  Number", panel);
    L_DataCounter = make_label("L_DataCounter", "Data Counter (bad/total)", panel);
    L_CalCoeff = make_label("L_CalCoeff", "Current Calibration Coefficient", panel);
    L_PumpRPM = make_label("L_PumpRPM", "Pump RPM", panel);
    L_FlowRPM = make_label("L_FlowRPM", "Flow RPM", panel);
    L_PMTvoltage = make_label("L_PMTvoltage", "PMT Voltage", panel);
    L_HVControl = make_label("L_HVControl", "PMT Control Voltage", panel);
    L_Raw = make_label("L_Raw", "Raw count", panel);
    L_AveBL = make_label("L_AveBL", "Ave Bioluminescence", panel);
    {
        QFont f = L_AveBL->font();
        f.setBold(true);
        L_AveBL->setFont(f);
    }
    // Bold is wider: a large value moves to a second line instead of being cut.
    L_AveBL->setWordWrap(true);
    L_AveBL->hide();

    I_PMTOn = new badge("PMT On", badge_blue, badge_blue, panel);
    I_PMTOn->setObjectName("I_PMTOn");
    I_PMTOff = new badge("PMT Off", badge_red, badge_red, panel);
    I_PMTOff->setObjectName("I_PMTOff");
    I_PumpOn = new badge("Pump On", badge_blue, badge_blue, panel);
    I_PumpOn->setObjectName("I_PumpOn");
    I_PumpOff = new badge("Pump Off", badge_red, badge_red, panel);
    I_PumpOff->setObjectName("I_PumpOff");
    I_PMTTooHigh = new badge("PMT Control Voltage Error!", banner_red, banner_magenta, panel);
    I_PMTTooHigh->setObjectName("I_PMTTooHigh");
    L_PMTTooHigh = make_label("L_PMTTooHigh",
                              "The PMT Control Voltage is out of range.  This indicates "
                              "malfunctioning and it is recommended you call Quorvex for service.",
                              panel);
    L_PMTTooHigh->setWordWrap(true);
    for (QWidget* w : {static_cast<QWidget*>(I_PMTOn), static_cast<QWidget*>(I_PMTOff),
                       static_cast<QWidget*>(I_PumpOn), static_cast<QWidget*>(I_PumpOff),
                       static_cast<QWidget*>(I_PMTTooHigh), static_cast<QWidget*>(L_PMTTooHigh)})
        w->hide();

    B_PumpOn = make_button("B_PumpOn", {}, panel);
    bind_button(B_PumpOn, A_PumpOn);
    B_PumpOff = make_button("B_PumpOff", {}, panel);
    bind_button(B_PumpOff, A_PumpOff);

    auto* col = new QVBoxLayout(panel);
    col->setContentsMargins(8, 8, 8, 8);
    col->setSpacing(4);
    col->addWidget(Label1);
    col->addSpacing(6);
    auto* port_row = new QHBoxLayout;
    port_row->addWidget(Label12);
    port_row->addWidget(UD_Serial);
    port_row->addStretch(1);
    col->addLayout(port_row);
    col->addWidget(Label4);
    col->addWidget(L_CommStatus);
    col->addWidget(L_NoData);
    col->addWidget(B_Connect);
    col->addWidget(B_Record);
    col->addWidget(B_StopSchedule);
    col->addWidget(L_RecordingTo);
    col->addWidget(L_FileName);
    auto* size_row = new QHBoxLayout;
    size_row->addWidget(L_FileSize);
    size_row->addWidget(L_DiskSpace);
    size_row->addStretch(1);
    col->addLayout(size_row);
    col->addWidget(L_TimeRecording);
    col->addSpacing(8);
    col->addWidget(Label2);
    col->addWidget(L_Time);
    for (QLabel* l : {L_Serial, L_DataCounter, L_CalCoeff, L_PumpRPM, L_FlowRPM, L_PMTvoltage,
                      L_HVControl, L_Raw, L_AveBL})
        col->addWidget(l);
    col->addSpacing(6);

    // Each badge pair shares one place; the row keeps its height while both
    // are hidden, so nothing below jumps when the first record arrives.
    auto* badges = new QGridLayout;
    badges->setSpacing(6);
    badges->addWidget(I_PMTOn, 0, 0);
    badges->addWidget(I_PMTOff, 0, 0);
    badges->addWidget(I_PumpOn, 0, 1);
    badges->addWidget(I_PumpOff, 0, 1);
    badges->setRowMinimumHeight(0, I_PMTOn->sizeHint().height());
    col->addLayout(badges);
    auto* pump_row = new QHBoxLayout;
    pump_row->addWidget(B_PumpOn);
    pump_row->addWidget(B_PumpOff);
    col->addLayout(pump_row);
    col->addSpacing(6);
    col->addWidget(I_PMTTooHigh);
    col->addWidget(L_PMTTooHigh);
    col->addStretch(1);
    return panel;
}

void TF_Main::build_actions() {
    const auto make = [this](QAction*& a, const char* name, const char* caption,
                             const QKeySequence& key, void (TF_Main::*handler)()) {
        a = make_action(this, name, caption);
        a->setShortcut(key);
        connect(a, &QAction::triggered, this,
                [this, handler] { marev::guarded([this, handler] { (this->*handler)(); }); });
    };
    make(A_Connect, "A_Connect", "Connect To Instrument", Qt::Key_F1, &TF_Main::A_ConnectExecute);
    A_Connect->setData(1);
    make(A_Record, "A_Record", "Start Recording", Qt::Key_F3, &TF_Main::A_RecordClick);
    A_Record->setVisible(false);
    make(A_StopSchedule, "A_StopSchedule", "Stop Scheduled Recording", Qt::Key_F5,
         &TF_Main::A_StopScheduleExecute);
    A_StopSchedule->setVisible(false);
    make(A_PumpOn, "A_PumpOn", "Turn Pump On", QKeySequence("Ctrl+Alt+G"), &TF_Main::A_PumpOnClick);
    make(A_PumpOff, "A_PumpOff", "Turn Pump Off", QKeySequence("Ctrl+Alt+S"),
         &TF_Main::A_PumpOffClick);
    make(A_PMTOn, "A_PMTOn", "Turn PMT On", QKeySequence("Ctrl+Alt+O"), &TF_Main::A_PMTOnClick);
    make(A_PMTOff, "A_PMTOff", "Turn PMT Off", QKeySequence("Ctrl+Alt+I"), &TF_Main::A_PMTOffClick);
    make(A_SetSchedule, "A_SetSchedule", "Set Schedule...", Qt::Key_F6,
         &TF_Main::A_SetScheduleExecute);
    // The lower chart's whole run; the chart unchecks it when the user zooms, pans or
    // double-clicks back to following.
    A_WholeRun = new QAction("Show Whole Run", this);
    A_WholeRun->setObjectName("A_WholeRun");
    A_WholeRun->setShortcut(Qt::Key_F7);
    A_WholeRun->setCheckable(true);
    addAction(A_WholeRun);
    make(A_CalibrationWindow, "A_CalibrationWindow", "Calibration Window",
         QKeySequence("Ctrl+Alt+C"), &TF_Main::A_CalibrationWindowExecute);
    make(A_TerminalWindow, "A_TerminalWindow", "Terminal Output Window", QKeySequence("Ctrl+Alt+T"),
         &TF_Main::A_TerminalWindowExecute);
    make(A_Options, "A_Options", "Options...", QKeySequence(), &TF_Main::A_OptionsExecute);
    make(A_SerialPorts, "A_SerialPorts", "Serial Ports...", QKeySequence(),
         &TF_Main::A_SerialPortsExecute);
    make(A_OpenRecord, "A_OpenRecord", "Open Record File...", QKeySequence("Ctrl+O"),
         &TF_Main::A_OpenRecordExecute);

    MExit = new QAction("E&xit", this);
    MExit->setObjectName("MExit");
    connect(MExit, &QAction::triggered, this, [this] { marev::guarded([this] { MExitClick(); }); });
    MAbout = new QAction("&About...", this);
    MAbout->setObjectName("MAbout");
    connect(MAbout, &QAction::triggered, this,
            [this] { marev::guarded([this] { MAboutClick(); }); });
    MHelp = new QAction("Help", this);
    MHelp->setObjectName("MHelp");
}

void TF_Main::build_menu() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(A_Connect);
    file->addSeparator();
    file->addAction(A_Record);
    file->addAction(A_StopSchedule);
    file->addSeparator();
    file->addAction(A_OpenRecord);
    file->addSeparator();
    file->addAction(MExit);

    QMenu* device = menuBar()->addMenu("Control Device");
    device->addAction(A_PumpOff);
    device->addAction(A_PumpOn);
    device->addSeparator();
    device->addAction(A_PMTOn);
    device->addAction(A_PMTOff);
    device->addSeparator();
    device->addAction(A_SetSchedule);

    QMenu* view = menuBar()->addMenu("View");
    view->addAction(A_WholeRun);

    QMenu* window = menuBar()->addMenu("Window");
    window->addAction(A_CalibrationWindow);
    window->addAction(A_TerminalWindow);
    window->addAction(A_Options);
    window->addAction(A_SerialPorts);

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(MAbout);
    help->addSeparator();
    help->addAction(MHelp);
}

void TF_Main::attach_reader() {
    reader->set_line_callback([](const std::string& line) {
        if (F_Terminal)
            F_Terminal->add_line(line);
    });
}

void TF_Main::A_ConnectExecute() {
    shown = 0;
    wait_ticks = 0;
    link_state = Probing;
    const bool on = A_Connect->data().toInt() == 1;
    returned_ = false;
    if (!on)
        log_event(lost_wait.waiting() ? "Waiting for the instrument ended by hand."
                                      : "Disconnected by hand.");
    SwitchConnection(on);
}

void TF_Main::SwitchConnection(bool on) {
    A_Connect->setVisible(true);
    A_Connect->setEnabled(true);
    if (on) {
        const bool returning = lost_wait.waiting();
        // A recording goes on in the same file with the new reader: the
        // replaced reader's file gets every line it took before it closes, and
        // is reopened for appending once the port is open.
        if (recording && reader->record_open()) {
            carrying_ = true;
            carry_path_ = QFile::encodeName(record_path).toStdString();
            carry_start_ = reader->record_start();
        }
        finish_record_file();
        reader = std::make_unique<qelm_reader>();
        attach_reader();
        reader->set_include_time(settings.include_time);
        const int port = UD_Serial->value();
        try {
            reader->connect(port);
        } catch (const link_error& e) {
            // Not back yet: the next try comes a period later, without a box.
            if (returning)
                return;
            marev::tell_later(QString::fromStdString(e.what()), "Error in communications",
                              QString::fromStdString(e.detail()));
            A_Connect->setVisible(true);
            return;
        }
        if (returning) {
            log_event(cformat("Instrument back on COM%d after %lld s.", port,
                              static_cast<long long>(lost_wait.seconds_lost(marev::steady_ms()))));
            lost_wait.end();
            TimerReconnect->stop();
            returned_ = true;
        } else {
            log_event(cformat("Connected to COM%d.", port));
        }
        // The first bytes after a loss or a new connection are the middle of
        // a line: the stream is found afresh, so no fragment is taken as a
        // line of a file that goes on.
        if (returning || carrying_)
            qelm_reader::set_synced(false);
        if (carrying_) {
            carrying_ = false;
            try {
                reader->append_record(carry_path_, 0, carry_start_);
                log_event("Recording goes on: " + record_path);
            } catch (const link_error& e) {
                tell_later(QString::fromStdString(e.what()), "Error writing file",
                           QString::fromStdString(e.detail()));
            }
        }
        Plot1->plot().GetChannel(1).ClearPoints();
        Plot2->plot().GetChannel(0).ClearPoints();
        A_Connect->setText("Disconnect");
        A_Connect->setData(2);
        A_Connect->setShortcut(Qt::Key_F2);
        Timer1->start();
        if (F_Terminal)
            F_Terminal->connection_changed(true);
        UD_Serial->setEnabled(false);
        E_Serial->setEnabled(false);
        if (F_Calibration)
            F_Calibration->connection_changed(true);
        L_CommStatus->setText("Attempting to connect to instrument");
        return;
    }

    lost_wait.end();
    TimerReconnect->stop();
    A_Connect->setText("Connect To Instrument");
    A_Connect->setData(1);
    A_Connect->setShortcut(Qt::Key_F1);
    L_CommStatus->setText("Disconnected.");
    L_NoData->hide();
    UD_Serial->setEnabled(true);
    E_Serial->setEnabled(true);
    A_Record->setVisible(false);
    A_Record->setEnabled(false);
    Timer1->stop();
    if (F_Terminal)
        F_Terminal->connection_changed(false);
    if (F_Calibration)
        F_Calibration->connection_changed(false);
    try {
        reader->disconnect();
    } catch (const link_error& e) {
        // Also reached from the fast tick (time-out, a lost instrument).
        marev::tell_later(QString::fromStdString(e.what()), "Error stopping device",
                          QString::fromStdString(e.detail()));
    }
}

void TF_Main::lose_instrument() {
    // Everything taken before the hang-up goes to the file first; then the
    // connection ends as a disconnection by hand does, and the window says why.
    if (recording && reader->record_open()) {
        reader->write_records();
        check_record_file();
    }
    link_state = Probing;
    wait_ticks = 0;
    SwitchConnection(false);
    if (!settings.reconnect) {
        L_CommStatus->setText("Instrument lost.");
        return;
    }
    // The same port is tried again until it opens; F2 ends the wait as it
    // ends a connection.
    const std::int64_t now = marev::steady_ms();
    lost_wait.lost(now);
    A_Connect->setText("Disconnect");
    A_Connect->setData(2);
    A_Connect->setShortcut(Qt::Key_F2);
    UD_Serial->setEnabled(false);
    E_Serial->setEnabled(false);
    show_waiting();
    TimerReconnect->start(int(lost_wait.ms_to_next_try(now)));
}

void TF_Main::keep_awake() {
    const bool wanted = recording || schedule_stop != 0;
    if (wanted == awake_held_)
        return;
    if (!wanted) {
        inhibitor->release();
        awake_held_ = false;
        log_event("Sleep allowed again.");
        return;
    }
    QString why;
    if (inhibitor->hold(why)) {
        awake_held_ = true;
        log_event("Sleep held off while recording.");
    } else if (!awake_failure_logged_) {
        // Tried again each second in case the service starts; told once.
        awake_failure_logged_ = true;
        log_event("Sleep cannot be held off (" + why + "); recording all the same.");
    }
}

void TF_Main::show_waiting() {
    L_CommStatus->setText(
        cformat("Instrument lost. Waiting for it to come back... (%lld s)",
                static_cast<long long>(lost_wait.seconds_lost(marev::steady_ms()))));
}

void TF_Main::TimerReconnectTimer() {
    if (lost_wait.try_due(marev::steady_ms())) {
        shown = 0;
        wait_ticks = 0;
        link_state = Probing;
        SwitchConnection(true);
    }
    if (!lost_wait.waiting())
        return;
    const std::int64_t now = marev::steady_ms();
    show_waiting();
    TimerReconnect->start(int(std::max<std::int64_t>(1, lost_wait.ms_to_next_try(now))));
}

void TF_Main::resume_recording() {
    if (sample_due_) {
        sample_due_ = false;
        reader->forget_taken();
        link_state = NewSample;
        try {
            if (F_Schedule)
                F_Schedule->StartSample();
        } catch (const link_error& e) {
            marev::tell_later(QString::fromStdString(e.what()), "Error writing file",
                              QString::fromStdString(e.detail()));
        } catch (const std::exception& e) {
            marev::tell_later(QString::fromStdString(e.what()), "Error writing file", QString());
        }
        return;
    }
    // A schedule's samples are ended by the clock, never offered to stop or
    // start by hand; a recording by hand can be stopped as before the loss.
    A_Record->setText("Stop Recording");
    A_Record->setShortcut(Qt::Key_F4);
    A_Record->setVisible(schedule_stop == 0);
    A_Record->setEnabled(schedule_stop == 0);
}

QString TF_Main::about_text() {
    return QStringLiteral("<h3>Marev %1</h3>"
                          "<p>Controls the QELM bioluminescence instrument over a serial line: "
                          "connects to it and identifies it, shows its data live, records its "
                          "lines to files by hand or on a schedule, switches its pump and "
                          "photomultiplier tube, and guides the check of the tube's high-voltage "
                          "steps against the calibration history.</p>")
        .arg(QStringLiteral(MAREV_VERSION));
}

void TF_Main::MAboutClick() {
    marev::current_prompts().about(QStringLiteral("About Marev"), about_text());
}

void TF_Main::UD_SerialClick() {
    settings.commport = static_cast<std::int16_t>(UD_Serial->value());
    settings.save();
}

void TF_Main::set_reconnect(bool reconnect) {
    settings.reconnect = reconnect;
    settings.save();
}

void TF_Main::A_RecordClick() {
    if (recording) {
        end_record_file();
        log_event("Recording stopped: " + record_path);
        L_FileName->setVisible(true);
        ShowRecordingState(false);
        return;
    }
    const std::optional<QString> path = marev::current_prompts().save_file(DefaultRecordName());
    if (!path)
        return;
    carrying_ = false;
    // Not caught here: "Unable to open file for saving." reaches the top-level
    // handler and the window stays as it was.
    reader->open_record(QFile::encodeName(*path).toStdString(), 0);
    recording = true;
    L_FileName->setText(*path);
    L_FileName->setToolTip(*path);
    L_FileName->setVisible(true);
    L_RecordingTo->setVisible(true);
    record_path = *path;
    ShowRecordingState(true);
    log_event("Recording started: " + record_path);
}

void TF_Main::A_StopScheduleExecute() {
    end_schedule();
    end_record_file();
    log_event("Schedule stopped by hand: " + record_path);
}

void TF_Main::end_schedule() {
    schedule_stop = 0;
    sample_due_ = false;
    carrying_ = false;
    A_StopSchedule->setVisible(false);
    A_StopSchedule->setEnabled(false);
    A_Record->setVisible(true);
    A_Record->setEnabled(true);
    ShowRecordingState(false);
}

void TF_Main::allow_recording(bool allowed) {
    A_Record->setEnabled(allowed);
}

void TF_Main::set_include_time(bool include_time) {
    // In force before the store is written: a store that cannot be written
    // still leaves the choice in force for this run.
    reader->set_include_time(include_time);
    settings.include_time = include_time;
    settings.save();
}

void TF_Main::remember_calibration_file(const QString& path) {
    settings.calfile = path;
    settings.save();
}

void TF_Main::remember_save_folder(const QString& folder) {
    settings.savedir = folder;
    settings.save();
}

void TF_Main::set_reps_left(std::int32_t reps) {
    reps_left = reps;
}

void TF_Main::begin_sample(std::int64_t stop) {
    schedule_stop = stop;
    // The new sample's display and file start from its own first record: the
    // lines complete before it are taken and left behind, the one under way
    // is its first.
    reader->take_held_lines();
    reader->forget_taken();
    restart_display();
    ShowRecordingState(true);
}

void TF_Main::open_sample_file(const QString& path) {
    reader->open_record(QFile::encodeName(path).toStdString(), 0);
    A_Record->setVisible(false);
    A_Record->setEnabled(false);
    Plot1->plot().ClearAllChannels();
    Plot2->plot().ClearAllChannels();
    record_path = path;
    L_FileName->setText(path);
    L_FileName->setToolTip(path);
    log_event("Sample started: " + path);
}

void TF_Main::abandon_schedule(bool record_visible, bool record_enabled) {
    schedule_stop = 0;
    reps_left = 0;
    ShowRecordingState(false);
    A_Record->setVisible(record_visible);
    A_Record->setEnabled(record_enabled);
}

void TF_Main::show_stop_schedule() {
    A_StopSchedule->setVisible(true);
    A_StopSchedule->setEnabled(true);
}

void TF_Main::A_PumpOnClick() {
    reader->send_command(command::pump_on);
}

void TF_Main::A_PumpOffClick() {
    reader->send_command(command::pump_off);
}

void TF_Main::A_PMTOnClick() {
    reader->send_command(command::pmt_on);
}

void TF_Main::A_PMTOffClick() {
    reader->send_command(command::pmt_off);
}

namespace {
void bring_up(QWidget* w) {
    if (!w)
        return;
    w->show();
    w->raise();
    w->activateWindow();
}
} // namespace

void TF_Main::A_SetScheduleExecute() {
    bring_up(F_Schedule);
}

void TF_Main::A_CalibrationWindowExecute() {
    bring_up(F_Calibration);
}

void TF_Main::A_TerminalWindowExecute() {
    bring_up(F_Terminal);
}

void TF_Main::A_OptionsExecute() {
    bring_up(F_Options);
}

void TF_Main::A_SerialPortsExecute() {
    if (!F_SerialPorts) {
        F_SerialPorts = new TF_SerialPorts(this);
        F_SerialPorts->UD_Port->setValue(UD_Serial->value());
    }
    bring_up(F_SerialPorts);
}

void TF_Main::MExitClick() {
    finish_record_file();
    std::exit(0);
}

void TF_Main::finish_record_file() {
    if (reader && reader->record_open()) {
        reader->write_records();
        reader->close_record();
    }
}

void TF_Main::end_record_file() {
    if (!reader->record_open())
        return;
    finish_record_file();
    check_record_file();
}

void TF_Main::check_record_file() {
    if (write_error_told_ || reader->record_error().empty())
        return;
    write_error_told_ = true;
    L_FileSize->setText(cannot_write_text);
    L_FileSize->setVisible(true);
    tell_later("The record file can no longer be written (is the disk full, or the medium "
               "removed?).  The lines received from now on are not saved.  Stop the recording, "
               "free some space or choose another place, and start a new one.",
               "Error writing file",
               record_path + "\n" + QString::fromStdString(reader->record_error()));
}

void TF_Main::tell_later(const QString& text, const QString& caption, const QString& detail) {
    marev::tell_later(text, caption, detail);
}

void TF_Main::restart_display() {
    shown = 0;
    // An identification under way goes on: 'P' is still sent, and the time-out
    // still counts, or comes on the next tick. A found instrument's display
    // restarts on the next tick.
    if (link_state == Running)
        link_state = NewSample;
}

void TF_Main::ShowRecordingState(bool on) {
    A_Record->setVisible(true);
    A_Record->setEnabled(true);
    if (on) {
        write_error_told_ = false;
        A_Record->setText("Stop Recording");
        A_Record->setShortcut(Qt::Key_F4);
        recording = true;
        if (F_Terminal)
            F_Terminal->clear_output();
        reader->clear_lines();
    } else {
        A_Record->setText("Start Recording");
        A_Record->setShortcut(Qt::Key_F3);
        recording = false;
        L_DiskSpace->hide();
    }
}

QString TF_Main::DefaultRecordName() const {
    return QString::fromStdString(record_file_name(reader->serial_number(), marev::local_now()));
}

void TF_Main::Timer1Timer() {
    try {
        reader->poll();
    } catch (const std::exception&) {
        // A failed poll is an empty one; the next tick polls again.
    }
    if (F_Terminal)
        F_Terminal->flush();
    if (reader->port_lost()) {
        log_event(cformat("Instrument lost on COM%d.", UD_Serial->value()));
        lose_instrument();
        return;
    }

    switch (link_state) {
    case Probing:
        if (reader->rx_byte_count() != 0) {
            link_state = Identifying;
            wait_ticks = 0;
            return;
        }
        if (++wait_ticks > wait_limit)
            link_state = TimedOut;
        reader->send_command(command::probe);
        return;
    case Identifying:
        if (++wait_ticks > wait_limit) {
            link_state = TimedOut;
            return;
        }
        if (reader->serial_number() != 0) {
            L_CommStatus->setText("QELM found.");
            log_event(cformat("QELM found, serial number %03d.", int(reader->serial_number())));
            returned_ = false;
            link_state = Running;
            wait_ticks = 0;
            if (recording || sample_due_)
                resume_recording();
            else
                ShowRecordingState(false);
        }
        break;
    case NewSample:
        wait_ticks = 0;
        shown = 0;
        link_state = Running;
        break;
    case TimedOut: {
        if (returned_ && settings.reconnect) {
            // The port came back but the instrument does not answer (an
            // adapter back before the instrument's power): waited for again.
            returned_ = false;
            log_event(cformat("No answer on COM%d; waiting again.", UD_Serial->value()));
            lose_instrument();
            return;
        }
        A_Connect->setVisible(true);
        wait_ticks = 0;
        link_state = Probing;
        // Stopped first, so that no fast tick runs while the box is open.
        Timer1->stop();
        QString close_error, close_detail;
        try {
            reader->disconnect();
        } catch (const link_error& e) {
            close_error = QString::fromStdString(e.what());
            close_detail = QString::fromStdString(e.detail());
        }
        marev::tell_later("Device timed out.  Is it connected?", "Nothing found");
        SwitchConnection(false);
        if (!close_error.isEmpty())
            marev::tell_later(close_error, "Error stopping device", close_detail);
        return;
    }
    case Running:
        break;
    }
    display_step();
}

void TF_Main::display_step() {
    const std::size_t k = shown;
    if (k >= reader->record_count())
        return;
    const qelm_reader& r = *reader;

    Plot1->plot().GetChannel(1).AddPoint(double(r.time(k) - r.time(0)), r.ave_bl(k));
    PlotChannel& raw = Plot2->plot().GetChannel(0);
    raw.ClearPoints();
    for (int j = 0; j < 60; ++j)
        raw.AddPoint(j + 1, r.raw_count(k, std::size_t(j)));
    raw.GetXAxis().FitToData();

    L_Serial->setText(cformat("Serial Number: %03d", int(r.serial_number())));
    L_DataCounter->setText(cformat("%d bad lines of %d lines total", r.bad_lines(), int(k)));
    L_CalCoeff->setText(cformat("Calibration Coefficient: %.2e", r.cal_coeff(k)));

    const bool pump_on = r.pump_rpm(k) != 0;
    I_PumpOn->setVisible(pump_on);
    I_PumpOff->setVisible(!pump_on);

    const bool pmt_on = r.pmt_voltage(k) != 0.0;
    I_PMTOff->setVisible(!pmt_on);
    E_PMTOff->setVisible(!pmt_on);
    I_PMTOn->setVisible(pmt_on);
    const QColor background = pmt_on ? QColor(Qt::black) : pmt_off_grey;
    Plot1->plot().SetBackGroundColor(background);
    Plot2->plot().SetBackGroundColor(background);
    if (!pmt_on)
        place_pmt_off_text();

    if (F_Calibration)
        F_Calibration->show_instrument_state(pump_on, pmt_on);

    L_PumpRPM->setText(cformat("Pump RPM: %d", int(r.pump_rpm(k))));
    L_FlowRPM->setText(cformat("Flow RPM: %d", int(r.flow_rpm(k))));
    L_PMTvoltage->setText(cformat("PMT Input Voltage: %.2lf", r.pmt_voltage(k)));
    L_AveBL->setText(cformat("Average Bioluminescence: %.2e", r.ave_bl(k)));
    L_AveBL->setVisible(true);
    L_Raw->setText(cformat("Raw counts: %.0f", r.raw_count(k, 0)));
    L_HVControl->setText(cformat("PMT Control Voltage: %.3lf", r.hv_control(k)));

    const double hv = r.hv_control(k);
    const bool hv_bad = hv > 0.71 || hv == 0.0;
    I_PMTTooHigh->setVisible(hv_bad);
    L_PMTTooHigh->setVisible(hv_bad);

    wait_ticks = 0;
    ++shown;
    last_record_at_ = marev::now();
    L_NoData->hide();

    if (recording) {
        reader->write_records();
        check_record_file();
    }
}

void TF_Main::TimerMinuteTimer() {
    const std::int64_t now = marev::now();
    const QString clock =
        QString::fromStdString(marev::clock_text(marev::current_clock().local(now)));
    L_Time->setText(clock);
    if (F_Calibration)
        F_Calibration->show_time(clock);

    // A next sample whose file cannot be opened is reported once the rest of
    // the tick is done, so the countdown and the progress do not lose a second.
    std::exception_ptr sample_error;
    if (marev::sample_over(now, schedule_stop) && !sample_due_) {
        // The sample's file gets every line complete before its end.
        reader->take_held_lines();
        end_record_file();
        carrying_ = false;
        log_event("Sample ended: " + record_path);
        if (reps_left == 0) {
            end_schedule();
            log_event("Schedule ended.");
            return;
        }
        // Below zero the samples go on without end.
        if (reps_left > 0)
            --reps_left;
        if (!reader->port_open()) {
            // The instrument is away: the next sample starts when it is found
            // again, rather than as a file that nothing reaches.
            sample_due_ = true;
        } else {
            reader->forget_taken();
            try {
                if (F_Schedule)
                    F_Schedule->StartSample();
            } catch (...) {
                sample_error = std::current_exception();
            }
            restart_display();
        }
    }

    keep_awake();
    if (lost_wait.waiting())
        show_waiting();
    // A running instrument never times out, but its silence is told.
    if (Timer1->isActive() && link_state == Running && now - last_record_at_ > silence_limit) {
        L_NoData->setText(cformat("No data from the instrument for %lld s.",
                                  static_cast<long long>(now - last_record_at_)));
        L_NoData->setVisible(true);
    }

    // A calibration step's countdown takes the second's place of the progress.
    const bool step_reading = F_Calibration && F_Calibration->count_down();
    // Without an open file (a sample that could not start) nothing grows;
    // a file waiting for the instrument's return goes on counting.
    if (!step_reading && recording && (reader->record_open() || carrying_))
        show_progress(now);

    if (sample_error)
        std::rethrow_exception(sample_error);
}

void TF_Main::show_progress(std::int64_t now) {
    if (!reader->record_error().empty()) {
        // Lines are being lost: no growing size or time.
        L_FileSize->setText(cannot_write_text);
    } else {
        std::error_code ec;
        const std::uintmax_t size =
            std::filesystem::file_size(QFile::encodeName(record_path).toStdString(), ec);
        if (ec) {
            L_FileSize->setText("Error determining file size.");
        } else {
            L_FileSize->setText(size_text(static_cast<std::int64_t>(size)));
            // Told before the disk is full, while there is time to act.
            const std::uintmax_t free = free_space(QFile::encodeName(record_path).toStdString());
            L_DiskSpace->setText(
                cformat("Only %llu MB free!", static_cast<unsigned long long>(free / 1048576)));
            L_DiskSpace->setVisible(free < low_disk_space);
            // A clock set back counts from the start again, never below zero.
            const std::int64_t start =
                reader->record_open() ? reader->record_start() : carry_start_;
            L_TimeRecording->setText(time_text(std::max<std::int64_t>(0, now - start)));
        }
    }
    for (QWidget* w : {static_cast<QWidget*>(L_FileSize), static_cast<QWidget*>(L_TimeRecording),
                       static_cast<QWidget*>(L_FileName), static_cast<QWidget*>(L_RecordingTo)})
        w->setVisible(true);
}

void TF_Main::place_pmt_off_text() {
    const QSize hint = E_PMTOff->sizeHint();
    const int w = std::min(Plot2->width() - 20,
                           E_PMTOff->fontMetrics().horizontalAdvance(E_PMTOff->text()) + 60);
    const int h = hint.height() + 10;
    E_PMTOff->setGeometry((Plot2->width() - w) / 2, (Plot2->height() - h) / 2, std::max(w, 10), h);
    E_PMTOff->raise();
}

bool TF_Main::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Plot2 && event->type() == QEvent::Resize)
        place_pmt_off_text();
    return QMainWindow::eventFilter(watched, event);
}

void TF_Main::closeEvent(QCloseEvent* event) {
    event->accept();
    // The secondary windows may still be open; closing this one ends the program.
    QCoreApplication::quit();
}

void TF_Main::A_OpenRecordExecute() {
    if (const std::optional<QString> path = marev::current_prompts().open_file())
        open_record_view(*path);
}
