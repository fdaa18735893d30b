// The schedule window on its own: its controls, the preview, the folder box,
// and "Set Schedule" with the first sample, its refusals and its failures.

#include "qstring_print.h"
#include "windows_fixture.h"

#include "link/sample_rules.h"
#include "schedule/schedule_window.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// The name of a file started at the fixture's clock for serial number 7.
const QString first_name = "qelm007_20231114221320.dat";

class schedule_window : public windows_test {
protected:
    void SetUp() override {
        windows_test::SetUp();
        create_windows();
        // Three records in the reader, as a connected instrument leaves them.
        F_Main->reader->receive("\r\n" + data_line() + "\n" + data_line() + "\n" + data_line() +
                                "\n");
        ASSERT_EQ(F_Main->reader->record_count(), 3u);
        F_Main->link_state = TF_Main::Running;
        F_Schedule->show();
        F_Schedule->E_SaveDir->setText(folder());
    }

    QString folder() const { return QString::fromStdString(out.path().string()); }
    QString file(const QString& name) const { return folder() + "/" + name; }

    // What "Set Schedule" must not have touched when it refused.
    void expect_nothing_changed() {
        TF_Main& m = *F_Main;
        EXPECT_EQ(m.schedule_stop, 0);
        EXPECT_EQ(m.reps_left, 0);
        EXPECT_EQ(m.reader->record_count(), 3u);
        EXPECT_NE(m.link_state, TF_Main::NewSample);
        EXPECT_FALSE(m.recording);
        EXPECT_FALSE(m.A_StopSchedule->isVisible());
        EXPECT_TRUE(m.record_path.isEmpty());
        EXPECT_TRUE(F_Schedule->isVisible());
        EXPECT_TRUE(fs::is_empty(out.path()));
        EXPECT_FALSE(fs::exists(settings_path()));
    }

    temp_dir out;
};

TEST_F(schedule_window, opens_with_one_sample_of_one_hour_chosen) {
    TF_Schedule& w = *F_Schedule;
    EXPECT_EQ(w.windowTitle(), "Set Schedule");
    // At least the layout's client area, and wide enough for every text.
    EXPECT_GE(w.width(), 269);
    EXPECT_GE(w.height(), 359);
    for (const QWidget* c : w.findChildren<QWidget*>()) {
        const bool text = qobject_cast<const QLabel*>(c) || qobject_cast<const QRadioButton*>(c);
        if (text && !c->isHidden()) {
            EXPECT_GE(c->width(), c->sizeHint().width()) << c->objectName().toStdString();
        }
    }
    EXPECT_EQ(w.RB_Once->text(), "Schedule Single Sample");
    EXPECT_EQ(w.RB_Reps->text(), "Schedule Repeating Samples");
    EXPECT_EQ(w.RB_Forever->text(), "Schedule Continuously Repeating Samples");
    EXPECT_TRUE(w.RB_Once->isChecked());
    EXPECT_EQ(w.E_Reps->text(), "1");
    EXPECT_EQ(w.E_RunFor->text(), "1");
    ASSERT_EQ(w.PD_TimeUnits->count(), 2);
    EXPECT_EQ(w.PD_TimeUnits->itemText(0), "hours");
    EXPECT_EQ(w.PD_TimeUnits->itemText(1), "minutes");
    EXPECT_EQ(w.PD_TimeUnits->currentText(), "hours");
    EXPECT_TRUE(w.PD_TimeUnits->isEditable());
    EXPECT_EQ(w.B_ChooseDir->text(), "...");
    EXPECT_EQ(w.B_Cancel->text(), "Cancel");
    EXPECT_EQ(w.B_SetSchedule->text(), "Set Schedule");
    EXPECT_EQ(w.L_IfSetNow->text(), "If you click \"Set Schedule\" now, it will stop at:");
    EXPECT_TRUE(w.L_IfSetNow->isHidden());
    EXPECT_TRUE(w.L_TimeStopped->isHidden());
    EXPECT_EQ(w.Timer1->interval(), 1000);
    EXPECT_TRUE(w.Timer1->isActive());
    for (const char* name : {"A_ChooseDir", "A_Cancel", "A_SetSchedule"})
        EXPECT_TRUE(w.actions().contains(w.findChild<QAction*>(name))) << name;

    // One group: a choice unchecks the others.
    QTest::mouseClick(w.RB_Reps, Qt::LeftButton);
    EXPECT_TRUE(w.RB_Reps->isChecked());
    EXPECT_FALSE(w.RB_Once->isChecked());
    QTest::mouseClick(w.RB_Forever, Qt::LeftButton);
    EXPECT_FALSE(w.RB_Reps->isChecked());

    // A unit typed into the box stays a text of its own.
    w.PD_TimeUnits->setFocus();
    w.PD_TimeUnits->lineEdit()->selectAll();
    QTest::keyClicks(w.PD_TimeUnits->lineEdit(), "secs");
    QTest::keyClick(w.PD_TimeUnits->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(w.PD_TimeUnits->count(), 2);
    EXPECT_EQ(w.PD_TimeUnits->currentText(), "secs");
}

TEST_F(schedule_window, the_preview_follows_the_length_and_unit_also_while_hidden) {
    TF_Schedule& w = *F_Schedule;
    w.hide();
    struct row {
        const char* run_for;
        const char* unit;
        const char* shown;
    };
    // The clock stands at Tue Nov 14 22:13:20 2023.
    const row rows[] = {
        {"1", "hours", "Tue Nov 14 23:13:20 2023\n"},
        {"90", "minutes", "Tue Nov 14 23:43:20 2023\n"},
        {"3", "secs", "Tue Nov 14 22:16:20 2023\n"},
        {"abc", "hours", "Tue Nov 14 22:13:20 2023\n"},
        {"-1", "hours", "Tue Nov 14 21:13:20 2023\n"},
        {"596523", "hours", "Mon Dec 03 01:13:20 2091\n"},
        {"596524", "hours", "(beyond the range of the clock)\n"},
    };
    for (const row& r : rows) {
        w.E_RunFor->setText(r.run_for);
        w.PD_TimeUnits->setEditText(r.unit);
        w.Timer1Timer();
        EXPECT_EQ(w.L_TimeStopped->text(), r.shown) << r.run_for << " " << r.unit;
    }
    EXPECT_FALSE(w.L_IfSetNow->isHidden());
    EXPECT_FALSE(w.L_TimeStopped->isHidden());
    // Nothing is stored.
    EXPECT_EQ(F_Main->schedule_stop, 0);
}

TEST_F(schedule_window, cancel_hides_the_window_and_changes_nothing) {
    F_Schedule->RB_Reps->setChecked(true);
    F_Schedule->A_Cancel->trigger();
    EXPECT_FALSE(F_Schedule->isVisible());
    EXPECT_TRUE(F_Schedule->RB_Reps->isChecked());
    EXPECT_EQ(F_Main->schedule_stop, 0);
    EXPECT_EQ(F_Main->reader->record_count(), 3u);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(schedule_window, the_folder_chooser_sets_the_box_unless_cancelled) {
    prompts.folder_answers = {std::nullopt, QString("/data/qelm runs")};
    QTest::mouseClick(F_Schedule->B_ChooseDir, Qt::LeftButton);
    EXPECT_EQ(F_Schedule->E_SaveDir->text(), folder());
    F_Schedule->A_ChooseDir->trigger();
    EXPECT_EQ(F_Schedule->E_SaveDir->text(), "/data/qelm runs");
    EXPECT_EQ(prompts.folder_requests,
              (std::vector<QString>{"Select Directory", "Select Directory"}));
}

TEST_F(schedule_window, the_folder_box_shows_the_stored_folder_at_each_activation) {
    F_Main->settings.savedir = "/stored";
    F_Schedule->hide();
    F_Schedule->E_SaveDir->setText("typed");
    F_Schedule->show();
    EXPECT_EQ(F_Schedule->E_SaveDir->text(), "/stored");

    F_Main->show();
    // Active means focused here: a window counts as active while one of its
    // own windows has the focus.
    const auto activate = [](QWidget* w) {
        w->activateWindow();
        return QTest::qWaitFor([w] { return QGuiApplication::focusWindow() == w->windowHandle(); });
    };
    ASSERT_TRUE(activate(F_Main));
    F_Schedule->E_SaveDir->setText("typed");
    ASSERT_TRUE(activate(F_Schedule));
    EXPECT_EQ(F_Schedule->E_SaveDir->text(), "/stored");

    // Back from a dialog of the window's own (the folder chooser, a message)
    // the box keeps what was chosen or typed.
    F_Schedule->E_SaveDir->setText("chosen");
    {
        QDialog chooser(F_Schedule);
        chooser.show();
        ASSERT_TRUE(activate(&chooser));
    }
    ASSERT_TRUE(activate(F_Schedule));
    EXPECT_EQ(F_Schedule->E_SaveDir->text(), "chosen");

    // Back from another window of the program it shows the stored one again.
    F_Calibration->show();
    ASSERT_TRUE(activate(F_Calibration));
    ASSERT_TRUE(activate(F_Schedule));
    EXPECT_EQ(F_Schedule->E_SaveDir->text(), "/stored");
}

TEST_F(schedule_window, set_schedule_starts_the_first_sample) {
    TF_Main& m = *F_Main;
    TF_Schedule& w = *F_Schedule;
    m.Plot1->plot().GetChannel(1).AddPoint(1, 10);
    w.RB_Reps->setChecked(true);
    w.E_Reps->setText("3");
    w.E_RunFor->setText("2");
    w.PD_TimeUnits->setCurrentIndex(1);
    // A folder that ends in the separator gives two in a row; both work.
    w.E_SaveDir->setText(folder() + "/");

    QTest::mouseClick(w.B_SetSchedule, Qt::LeftButton);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(m.reps_left, 2);
    EXPECT_EQ(m.schedule_stop, clock.now() + 120);
    EXPECT_EQ(m.link_state, TF_Main::NewSample);
    EXPECT_EQ(m.reader->record_count(), 0u);
    EXPECT_TRUE(m.reader->record_open());
    const QString path = folder() + "//" + first_name;
    EXPECT_EQ(m.record_path, path);
    EXPECT_EQ(m.L_FileName->text(), path);
    EXPECT_TRUE(fs::exists(file(first_name).toStdString()));
    EXPECT_EQ(m.Plot1->plot().GetChannel(1).PointCount(), 0);
    // The first sample's file can be stopped by hand.
    EXPECT_TRUE(m.recording);
    EXPECT_TRUE(m.A_Record->isVisible());
    EXPECT_TRUE(m.A_Record->isEnabled());
    EXPECT_EQ(m.A_Record->text(), "Stop Recording");
    EXPECT_EQ(m.A_Record->shortcut(), QKeySequence(Qt::Key_F4));
    EXPECT_TRUE(m.A_StopSchedule->isVisible());
    EXPECT_TRUE(m.A_StopSchedule->isEnabled());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(m.settings.savedir, folder() + "/");
    EXPECT_EQ(stored("savedir"), (folder() + "/").toStdString());

    // The sample's file receives the lines taken from now on.
    m.reader->receive(data_line() + "\n");
    m.reader->write_records();
    m.reader->close_record();
    EXPECT_EQ(read_file(file(first_name).toStdString()), data_line());
}

TEST_F(schedule_window, each_later_sample_reads_the_boxes_as_they_stand) {
    TF_Main& m = *F_Main;
    TF_Schedule& w = *F_Schedule;
    w.RB_Forever->setChecked(true);
    w.A_SetSchedule->trigger();
    ASSERT_TRUE(prompts.messages.empty());
    EXPECT_EQ(m.reps_left, -1);
    EXPECT_EQ(m.schedule_stop, clock.now() + 3600);

    // Changed after "Set Schedule", as the one-second timer then finds them.
    temp_dir other;
    w.E_SaveDir->setText(QString::fromStdString(other.path().string()));
    w.E_RunFor->setText("5");
    w.PD_TimeUnits->setEditText("min");
    m.reader->close_record();
    clock.advance(3600);
    w.StartSample();
    EXPECT_EQ(m.schedule_stop, clock.now() + 300);
    const std::string second = other.file("qelm007_20231114231320.dat");
    EXPECT_EQ(m.record_path.toStdString(), second);
    EXPECT_TRUE(fs::exists(second));
    EXPECT_EQ(m.reps_left, -1);
    // Later samples leave the record action hidden.
    EXPECT_TRUE(m.recording);
    EXPECT_FALSE(m.A_Record->isVisible());
    EXPECT_FALSE(m.A_Record->isEnabled());

    // A length beyond the limits, typed meanwhile, runs as long as they allow.
    m.reader->close_record();
    clock.advance(300);
    w.E_RunFor->setText("99999999999");
    w.StartSample();
    EXPECT_EQ(m.schedule_stop, clock.now() + marev::max_sample_seconds);
    w.E_RunFor->setText("-99999999999");
    m.reader->close_record();
    clock.advance(1);
    w.StartSample();
    EXPECT_EQ(m.schedule_stop, clock.now() - marev::max_sample_seconds);
}

TEST_F(schedule_window, a_later_sample_with_too_long_a_path_fails_like_a_file_open) {
    TF_Schedule& w = *F_Schedule;
    w.A_SetSchedule->trigger();
    F_Main->reader->close_record();
    w.E_SaveDir->setText(QString(1100, 'd'));
    clock.advance(3600);
    EXPECT_THROW(w.StartSample(), std::runtime_error);
    // Steps up to the file open are done, so the next try is at the new stop time.
    EXPECT_EQ(F_Main->schedule_stop, clock.now() + 3600);
    EXPECT_EQ(F_Main->link_state, TF_Main::NewSample);
    EXPECT_FALSE(F_Main->reader->record_open());
}

TEST_F(schedule_window, a_schedule_that_cannot_run_is_refused_and_changes_nothing) {
    struct row {
        const char* why;
        std::function<void()> arrange;
        QString text;
    };
    const QString length_text = "The sample length is out of range: a sample lasts at most "
                                "596523 hours (35791394 minutes).";
    const QString path_text = "The path of the record file would be longer than 1023 "
                              "characters; choose a shorter folder.";
    const std::string by_hand = out.file("by_hand.dat");
    const row rows[] = {
        {"hours", [] { F_Schedule->E_RunFor->setText("596524"); }, length_text},
        {"minutes",
         [] {
             F_Schedule->E_RunFor->setText("-35791395");
             F_Schedule->PD_TimeUnits->setCurrentIndex(1);
         },
         length_text},
        {"clock",
         [this] {
             F_Schedule->E_RunFor->setText("1");
             clock.set(marev::last_clock_time - 100);
         },
         "A sample of this length would end beyond the range of the clock."},
        {"path",
         [this] {
             const int room = int(marev::max_record_path - first_name.size() - 1);
             F_Schedule->E_SaveDir->setText(folder() + QString(room - folder().size() + 1, 'd'));
         },
         path_text},
        {"recording", [&] { F_Main->reader->open_record(by_hand, 0); },
         "A recording is already writing its file; stop it before setting a schedule."},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.why);
        r.arrange();
        prompts.messages.clear();
        F_Schedule->RB_Reps->setChecked(true);
        F_Schedule->E_Reps->setText("3");
        F_Schedule->A_SetSchedule->trigger();
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, r.text);
        EXPECT_EQ(prompts.messages[0].caption, "Error writing file");
        if (std::string(r.why) == "recording") {
            // The recording by hand goes on into its own file.
            EXPECT_TRUE(F_Main->reader->record_open());
            F_Main->reader->close_record();
            fs::remove(by_hand);
        }
        expect_nothing_changed();
        // The same folder, one character shorter, is a path that fits.
        F_Schedule->E_SaveDir->setText(folder());
        F_Schedule->E_RunFor->setText("1");
        F_Schedule->PD_TimeUnits->setCurrentIndex(0);
        clock.set(1'700'000'000);
    }
}

TEST_F(schedule_window, the_longest_path_that_fits_is_taken) {
    // Folders of at most 200 characters each, to a folder text of exactly
    // the room that the file name leaves.
    const int room = int(marev::max_record_path - first_name.size() - 1);
    std::string sub;
    for (int n = room - int(folder().size()) - 1; n > 0;) {
        const int part = std::min(n, 199);
        sub += std::string(std::size_t(part), 'd');
        n -= part;
        if (n > 1) {
            sub += '/';
            --n;
        }
    }
    fs::create_directories(out.file(sub));
    F_Schedule->E_SaveDir->setText(folder() + "/" + QString::fromStdString(sub));
    ASSERT_EQ(F_Schedule->E_SaveDir->text().size(), room);
    F_Schedule->A_SetSchedule->trigger();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(F_Main->record_path.size(), marev::max_record_path);
    EXPECT_TRUE(F_Main->reader->record_open());
}

TEST_F(schedule_window, a_schedule_whose_first_file_cannot_open_is_not_started) {
    TF_Main& m = *F_Main;
    // Samples of no length, so that an armed schedule would come back at
    // every tick.
    F_Schedule->RB_Forever->setChecked(true);
    F_Schedule->E_RunFor->setText("0");
    F_Schedule->E_SaveDir->setText(folder() + "/missing");
    F_Schedule->A_SetSchedule->trigger();

    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to open file for saving.");
    EXPECT_EQ(prompts.messages[0].caption, "Error writing file");
    EXPECT_NE(prompts.messages[0].detail.indexOf("missing/" + first_name), -1);
    // Nothing stays armed; the record action is as it was.
    EXPECT_EQ(m.schedule_stop, 0);
    EXPECT_EQ(m.reps_left, 0);
    EXPECT_FALSE(m.recording);
    EXPECT_EQ(m.A_Record->text(), "Start Recording");
    EXPECT_FALSE(m.A_Record->isVisible());
    EXPECT_FALSE(m.A_StopSchedule->isVisible());
    EXPECT_FALSE(m.reader->record_open());
    EXPECT_TRUE(m.record_path.isEmpty());
    EXPECT_EQ(m.settings.savedir, reg::default_savedir());
    EXPECT_FALSE(fs::exists(settings_path()));
    EXPECT_TRUE(F_Schedule->isVisible());
    for (int s = 0; s < 5; ++s) {
        clock.advance(1);
        m.TimerMinuteTimer();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(m.schedule_stop, 0);
    EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST_F(schedule_window, a_failed_settings_write_leaves_the_first_sample_running) {
    // A folder where the settings file should be: it cannot be written.
    fs::create_directories(settings_path());
    F_Schedule->A_SetSchedule->trigger();

    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to write to registry!");
    EXPECT_EQ(prompts.messages[0].caption, "Error writing file");
    EXPECT_TRUE(F_Main->reader->record_open());
    EXPECT_EQ(F_Main->record_path, file(first_name));
    EXPECT_EQ(F_Main->schedule_stop, clock.now() + 3600);
    EXPECT_EQ(F_Main->settings.savedir, folder());
    // The schedule runs, so it can be stopped.
    EXPECT_TRUE(F_Main->A_StopSchedule->isVisible());
    EXPECT_TRUE(F_Main->A_StopSchedule->isEnabled());
    EXPECT_TRUE(F_Schedule->isVisible());
}

} // namespace
