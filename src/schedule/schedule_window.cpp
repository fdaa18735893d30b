#include "schedule/schedule_window.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "app/reg.h"
#include "app/widgets.h"
#include "app/windows.h"
#include "link/clock.h"
#include "link/link_error.h"
#include "link/sample_rules.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <stdexcept>

namespace {

const QString error_caption = QStringLiteral("Error writing file");

QString length_limit_text() {
    return QStringLiteral("The sample length is out of range: a sample lasts at most %1 hours "
                          "(%2 minutes).")
        .arg(marev::max_sample_seconds / 3600)
        .arg(marev::max_sample_seconds / 60);
}

QString path_limit_text() {
    return QStringLiteral("The path of the record file would be longer than %1 characters; "
                          "choose a shorter folder.")
        .arg(marev::max_record_path);
}

QString sample_path(const QString& folder, const QString& name) {
    return QString::fromStdString(marev::sample_path(folder.toStdString(), name.toStdString()));
}

// One of the program's own windows, as against a dialog, a message box or a
// drop-down list that one of them opened for a moment.
bool program_window(const QWindow* w) {
    if (!w)
        return false;
    for (const QWidget* top : QApplication::topLevelWidgets())
        if (top->windowHandle() == w)
            return !qobject_cast<const QDialog*>(top) && top->windowType() != Qt::Popup &&
                   top->windowType() != Qt::ToolTip;
    return false;
}

} // namespace

TF_Schedule::TF_Schedule(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("F_Schedule");
    setWindowTitle("Set Schedule");
    // The compact face of the main window's panel, so that the longest
    // choice fits the window's width.
    {
        QFont f = font();
        f.setPointSizeF(8);
        setFont(f);
    }

    Label1 = make_label("Label1", "Schedule recording times", this);
    {
        QFont f = Label1->font();
        f.setBold(true);
        Label1->setFont(f);
    }
    // One parent, so the three choices are one group.
    RB_Once = new QRadioButton("Schedule Single Sample", this);
    RB_Once->setObjectName("RB_Once");
    RB_Once->setChecked(true);
    RB_Reps = new QRadioButton("Schedule Repeating Samples", this);
    RB_Reps->setObjectName("RB_Reps");
    Label2 = make_label("Label2", "Repeat ", this);
    E_Reps = new QLineEdit("1", this);
    E_Reps->setObjectName("E_Reps");
    E_Reps->setFixedWidth(48);
    Label3 = make_label("Label3", "times", this);
    RB_Forever = new QRadioButton("Schedule Continuously Repeating Samples", this);
    RB_Forever->setObjectName("RB_Forever");

    Label4 = make_label("Label4", "Sample Length", this);
    E_RunFor = new QLineEdit("1", this);
    E_RunFor->setObjectName("E_RunFor");
    E_RunFor->setFixedWidth(64);
    PD_TimeUnits = new QComboBox(this);
    PD_TimeUnits->setObjectName("PD_TimeUnits");
    PD_TimeUnits->setEditable(true);
    // A typed unit stays a text of its own; it never becomes an item.
    PD_TimeUnits->setInsertPolicy(QComboBox::NoInsert);
    PD_TimeUnits->addItems({"hours", "minutes"});
    PD_TimeUnits->setCurrentIndex(0);

    Label5 = make_label("Label5", "Save file location:", this);
    E_SaveDir = new QLineEdit(reg::default_savedir(), this);
    E_SaveDir->setObjectName("E_SaveDir");
    B_ChooseDir = new QPushButton(this);
    B_ChooseDir->setObjectName("B_ChooseDir");
    B_ChooseDir->setFixedWidth(32);

    Label6 = make_label("Label6", "Filenames will be automatically generated.", this);
    Label7 = make_label("Label7", "There will be some delay between samples.", this);
    Label8 = make_label("Label8", "Only the most recent sample will be held in memory.", this);
    L_IfSetNow =
        make_label("L_IfSetNow", "If you click \"Set Schedule\" now, it will stop at:", this);
    L_TimeStopped = make_label("L_TimeStopped", "<time goes here>", this);
    L_TimeStopped->setTextFormat(Qt::PlainText);
    {
        QFont f = L_TimeStopped->font();
        f.setBold(true);
        L_TimeStopped->setFont(f);
    }
    L_IfSetNow->hide();
    L_TimeStopped->hide();

    B_Cancel = new QPushButton(this);
    B_Cancel->setObjectName("B_Cancel");
    B_SetSchedule = new QPushButton(this);
    B_SetSchedule->setObjectName("B_SetSchedule");

    const auto make = [this](QAction*& a, const char* name, const char* caption,
                             void (TF_Schedule::*handler)()) {
        a = make_action(this, name, caption);
        connect(a, &QAction::triggered, this,
                [this, handler] { marev::guarded([this, handler] { (this->*handler)(); }); });
    };
    make(A_ChooseDir, "A_ChooseDir", "...", &TF_Schedule::A_ChooseDirExecute);
    make(A_Cancel, "A_Cancel", "Cancel", &TF_Schedule::A_CancelExecute);
    make(A_SetSchedule, "A_SetSchedule", "Set Schedule", &TF_Schedule::A_SetScheduleExecute);
    bind_button(B_ChooseDir, A_ChooseDir);
    bind_button(B_Cancel, A_Cancel);
    bind_button(B_SetSchedule, A_SetSchedule);

    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(8, 8, 8, 8);
    col->setSpacing(4);
    col->addWidget(Label1);
    col->addWidget(RB_Once);
    col->addWidget(RB_Reps);
    auto* reps_row = new QHBoxLayout;
    reps_row->addSpacing(20);
    reps_row->addWidget(Label2);
    reps_row->addWidget(E_Reps);
    reps_row->addWidget(Label3);
    reps_row->addStretch(1);
    col->addLayout(reps_row);
    col->addWidget(RB_Forever);
    col->addSpacing(6);
    col->addWidget(Label4);
    auto* length_row = new QHBoxLayout;
    length_row->addWidget(E_RunFor);
    length_row->addWidget(PD_TimeUnits);
    length_row->addStretch(1);
    col->addLayout(length_row);
    col->addSpacing(6);
    col->addWidget(Label5);
    auto* dir_row = new QHBoxLayout;
    dir_row->addWidget(E_SaveDir, 1);
    dir_row->addWidget(B_ChooseDir);
    col->addLayout(dir_row);
    col->addSpacing(6);
    col->addWidget(Label6);
    col->addWidget(Label7);
    col->addWidget(Label8);
    col->addSpacing(6);
    col->addWidget(L_IfSetNow);
    col->addWidget(L_TimeStopped);
    col->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(B_Cancel);
    buttons->addWidget(B_SetSchedule);
    col->addLayout(buttons);
    // The layout's client area, or more where the system's fonts need it.
    resize(minimumSizeHint().expandedTo(QSize(269, 359)));

    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            [this](QWindow* w) { focus_window_changed(w); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { marev::guarded([this] { Timer1Timer(); }); });
    Timer1->start();
}

void TF_Schedule::FormActivate() {
    if (F_Main)
        E_SaveDir->setText(F_Main->settings.savedir);
}

void TF_Schedule::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    // First shown over the middle of the main window; later where the user
    // left it.
    if (!placed_ && parentWidget()) {
        QRect r = frameGeometry();
        r.moveCenter(parentWidget()->frameGeometry().center());
        move(r.topLeft());
        placed_ = true;
    }
    FormActivate();
}

void TF_Schedule::focus_window_changed(QWindow* window) {
    if (!window)
        return; // the program lost the focus; what counts is where it comes back
    if (window != windowHandle()) {
        last_focus_ = program_window(window) ? focus_kind::program : focus_kind::other;
        return;
    }
    // Coming back from one of the program's windows counts; coming back from
    // this window's own dialogs (the folder chooser, a message) or from
    // another program does not, or the folder just chosen or typed would be
    // replaced.
    if (last_focus_ == focus_kind::none || last_focus_ == focus_kind::program)
        FormActivate();
    last_focus_ = focus_kind::self;
}

std::int64_t TF_Schedule::stop_time(std::int64_t now) const {
    // A length beyond the limits, typed after the schedule was set, runs as
    // long as the limits allow rather than ending the schedule.
    std::int64_t length = marev::max_sample_seconds;
    if (const auto l = marev::sample_seconds(E_RunFor->text().toStdString(), PD_TimeUnits->currentText().toStdString()))
        length = *l;
    else if (marev::read_whole_number(E_RunFor->text().toStdString()) < 0)
        length = -marev::max_sample_seconds;
    return marev::sample_stop(now, length);
}

void TF_Schedule::Timer1Timer() {
    const std::int64_t now = marev::now();
    const auto length = marev::sample_seconds(E_RunFor->text().toStdString(), PD_TimeUnits->currentText().toStdString());
    if (length && marev::within_clock(now + *length))
        L_TimeStopped->setText(
            QString::fromStdString(marev::clock_text(marev::current_clock().local(now + *length))));
    else
        L_TimeStopped->setText("(beyond the range of the clock)\n");
    L_IfSetNow->setVisible(true);
    L_TimeStopped->setVisible(true);
}

void TF_Schedule::A_CancelExecute() {
    hide();
}

void TF_Schedule::A_ChooseDirExecute() {
    if (const auto folder = marev::current_prompts().choose_folder("Select Directory"))
        E_SaveDir->setText(QDir::toNativeSeparators(*folder));
}

std::optional<QString> TF_Schedule::refusal() const {
    const auto length = marev::sample_seconds(E_RunFor->text().toStdString(), PD_TimeUnits->currentText().toStdString());
    if (!length)
        return length_limit_text();
    if (!marev::within_clock(marev::now() + *length))
        return QStringLiteral("A sample of this length would end beyond the range of the clock.");
    if (sample_path(E_SaveDir->text(), F_Main->DefaultRecordName()).size() > marev::max_record_path)
        return path_limit_text();
    // The reader writes one file at a time: a schedule set now could not
    // open its first file, and would have cleared the running recording's
    // reader and moved its stop time for nothing.
    if (F_Main->reader->record_open())
        return QStringLiteral(
            "A recording is already writing its file; stop it before setting a schedule.");
    return std::nullopt;
}

void TF_Schedule::A_SetScheduleExecute() {
    if (const auto why = refusal()) {
        marev::current_prompts().message(*why, error_caption);
        return;
    }
    TF_Main& m = *F_Main;
    const bool record_shown = m.A_Record->isVisible();
    const bool record_enabled = m.A_Record->isEnabled();
    bool started = false;
    try {
        const auto choice = RB_Once->isChecked()   ? marev::repeat_choice::once
                            : RB_Reps->isChecked() ? marev::repeat_choice::reps
                                                   : marev::repeat_choice::without_end;
        m.set_reps_left(marev::reps_left_for(choice, E_Reps->text().toStdString()));
        StartSample();
        started = true;
        // The first sample's file can be stopped by hand; later ones cannot.
        m.ShowRecordingState(true);
        // A running schedule can always be stopped, also when the folder
        // cannot be remembered below.
        m.show_stop_schedule();
        m.remember_save_folder(E_SaveDir->text());
        hide();
    } catch (const std::exception& e) {
        // A schedule whose first file cannot be opened is not started:
        // nothing stays armed to end or start samples later.
        if (!started)
            m.abandon_schedule(record_shown, record_enabled);
        const auto* link = dynamic_cast<const link_error*>(&e);
        marev::current_prompts().message(QString::fromStdString(e.what()), error_caption,
                                         link ? QString::fromStdString(link->detail()) : QString());
    }
}

void TF_Schedule::StartSample() {
    TF_Main& m = *F_Main;
    // Named before the reader, and the serial number with it, is cleared.
    const QString name = m.DefaultRecordName();
    m.begin_sample(stop_time(marev::now()));
    const QString path = sample_path(E_SaveDir->text(), name);
    if (path.size() > marev::max_record_path)
        throw std::runtime_error(path_limit_text().toStdString());
    m.open_sample_file(path);
}
