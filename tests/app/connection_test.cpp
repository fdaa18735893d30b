#include "windows_fixture.h"

#include "app/port_chooser.h"
#include "schedule/schedule_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

// The descriptor whose next close fails with EIO, as a driver's may; the
// descriptor is released all the same, as Linux does.
static int failing_close_fd = -1;

extern "C" int close(int fd) {
    const long r = ::syscall(SYS_close, fd);
    if (fd == failing_close_fd && r == 0) {
        failing_close_fd = -1;
        errno = EIO;
        return -1;
    }
    return int(r);
}

namespace {

// The program's descriptor of the instrument's device (the test's own is
// blocking), so that its next close fails.
void fail_next_close(const std::string& device) {
    namespace fs = std::filesystem;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const int fd = std::stoi(e.path().filename().string());
        if (fs::read_symlink(e.path(), ec) == device && (::fcntl(fd, F_GETFL) & O_NONBLOCK)) {
            failing_close_fd = fd;
            return;
        }
    }
    FAIL() << "the program holds no descriptor of " << device;
}

using connection = instrument_test;

void expect_disconnected_look() {
    EXPECT_EQ(F_Main->A_Connect->text(), "Connect To Instrument");
    EXPECT_EQ(F_Main->A_Connect->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(F_Main->A_Connect->data().toInt(), 1);
    EXPECT_TRUE(F_Main->A_Connect->isVisible());
    EXPECT_FALSE(F_Main->Timer1->isActive());
    EXPECT_TRUE(F_Main->UD_Serial->isEnabled());
    EXPECT_FALSE(F_Terminal->E_Send->isEnabled());
    EXPECT_FALSE(F_Calibration->A_StartVerifyCal->isEnabled());
    EXPECT_FALSE(F_Main->A_Record->isVisible());
}

TEST_F(connection, a_silent_device_is_probed_on_121_ticks_then_timed_out) {
    connect();
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Attempting to connect to instrument");
    EXPECT_EQ(F_Main->A_Connect->text(), "Disconnect");
    EXPECT_EQ(F_Main->A_Connect->shortcut(), QKeySequence(Qt::Key_F2));
    EXPECT_TRUE(F_Main->Timer1->isActive());
    EXPECT_EQ(F_Main->Timer1->interval(), 50);
    EXPECT_FALSE(F_Main->UD_Serial->isEnabled());
    EXPECT_TRUE(F_Terminal->E_Send->isEnabled());
    EXPECT_TRUE(F_Calibration->A_StartVerifyCal->isEnabled());

    ticks(121);
    EXPECT_EQ(inst.received(), std::string(121, 'P'));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(F_Main->link_state, TF_Main::TimedOut);

    ticks(1);
    // Shown from the event loop once the tick is over, never inside it.
    EXPECT_TRUE(prompts.messages.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Device timed out.  Is it connected?");
    EXPECT_EQ(prompts.messages[0].caption, "Nothing found");
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Disconnected.");
    EXPECT_EQ(F_Main->link_state, TF_Main::Probing);
    EXPECT_FALSE(F_Main->reader->port_open());
    expect_disconnected_look();
    EXPECT_EQ(inst.received(), "");
}

TEST_F(connection, bytes_without_a_record_time_out_121_ticks_after_the_first) {
    connect();
    ticks(1);
    inst.send("no line end yet");
    ticks(1);
    EXPECT_EQ(F_Main->link_state, TF_Main::Identifying);
    ticks(120);
    EXPECT_EQ(F_Main->link_state, TF_Main::Identifying);
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Attempting to connect to instrument");
    ticks(1);
    EXPECT_EQ(F_Main->link_state, TF_Main::TimedOut);
    ticks(1);
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Nothing found");
    // Once the instrument answered it is not probed any more.
    EXPECT_EQ(inst.received(), "P");
}

TEST_F(connection, serial_number_zero_is_shown_but_never_found) {
    connect_and_sync();
    for (int i = 0; i < 3; ++i) {
        show(data_line({.serial = 0}));
        ticks(100); // silence shorter than the limit, each time
    }
    EXPECT_EQ(F_Main->shown, 3u);
    EXPECT_EQ(F_Main->L_Serial->text(), "Serial Number: 000");
    EXPECT_EQ(F_Main->Plot1->plot().GetChannel(1).PointCount(), 3);
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Attempting to connect to instrument");
    EXPECT_FALSE(F_Main->A_Record->isVisible());
    EXPECT_EQ(F_Main->link_state, TF_Main::Identifying);

    // The limit counts from the last record shown.
    ticks(20);
    EXPECT_EQ(F_Main->link_state, TF_Main::Identifying);
    ticks(1);
    EXPECT_EQ(F_Main->link_state, TF_Main::TimedOut);
}

TEST_F(connection, a_serial_number_finds_the_instrument_and_running_never_times_out) {
    connect_and_sync();
    show(data_line());
    EXPECT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
    EXPECT_EQ(F_Main->link_state, TF_Main::Running);
    EXPECT_TRUE(F_Main->A_Record->isVisible());
    EXPECT_TRUE(F_Main->A_Record->isEnabled());
    EXPECT_EQ(F_Main->A_Record->text(), "Start Recording");
    EXPECT_EQ(F_Main->A_Record->shortcut(), QKeySequence(Qt::Key_F3));
    EXPECT_FALSE(F_Main->recording);

    ticks(500);
    EXPECT_EQ(F_Main->link_state, TF_Main::Running);
    EXPECT_TRUE(F_Main->Timer1->isActive());
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(F_Main->L_Serial->text(), "Serial Number: 007");

    // Disconnecting hides the record action and keeps the last values.
    F_Main->A_Connect->trigger();
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Disconnected.");
    expect_disconnected_look();
    EXPECT_EQ(F_Main->L_Serial->text(), "Serial Number: 007");
}

TEST_F(connection, disconnecting_while_probing_gives_the_next_attempt_its_full_wait) {
    connect();
    ticks(60);
    F_Main->A_Connect->trigger();
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Disconnected.");
    connect();
    ticks(120);
    EXPECT_EQ(F_Main->link_state, TF_Main::Probing);
    ticks(1);
    EXPECT_EQ(F_Main->link_state, TF_Main::TimedOut);
    ticks(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(inst.received(), std::string(60 + 121, 'P'));
}

TEST_F(connection, device_actions_send_at_once_before_the_instrument_is_found) {
    connect();
    F_Main->A_PumpOn->trigger();
    F_Main->A_PumpOff->trigger();
    F_Main->A_PMTOn->trigger();
    F_Main->A_PMTOff->trigger();
    EXPECT_EQ(inst.received(), "gsoi");
    // Without a connection they send nothing and complain of nothing.
    F_Main->A_Connect->trigger();
    F_Main->A_PumpOn->trigger();
    EXPECT_EQ(inst.received(), "");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(connection, the_chooser_names_its_device) {
    EXPECT_EQ(F_Main->UD_Serial->toolTip().toStdString(), "COM7 opens " + inst.device());
    F_Main->UD_Serial->setValue(3);
    EXPECT_EQ(F_Main->UD_Serial->toolTip(), "COM3 opens /dev/ttyS2");
}

TEST_F(connection, a_port_that_fails_to_close_is_told_after_a_disconnect_and_a_time_out) {
    connect();
    fail_next_close(inst.device());
    F_Main->A_Connect->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Could not close comm port");
    EXPECT_EQ(prompts.messages[0].caption, "Error stopping device");
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Disconnected.");
    expect_disconnected_look();

    // The time-out closes the port twice; only the first close fails.
    prompts.messages.clear();
    connect();
    ticks(121);
    ASSERT_EQ(F_Main->link_state, TF_Main::TimedOut);
    fail_next_close(inst.device());
    ticks(1);
    EXPECT_TRUE(prompts.messages.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].caption, "Nothing found");
    EXPECT_EQ(prompts.messages[1].text, "Could not close comm port");
    EXPECT_EQ(prompts.messages[1].caption, "Error stopping device");
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Disconnected.");
    expect_disconnected_look();
}

TEST_F(connection, a_sample_started_before_the_instrument_answers_waits_for_its_identification) {
    temp_dir out;
    F_Schedule->E_SaveDir->setText(QString::fromStdString(out.path().string()));
    // Still probing: 'P' goes on, the instrument's answer finds it, and the
    // sample records what it sends.
    connect();
    ticks(3);
    F_Schedule->A_SetSchedule->trigger();
    ASSERT_TRUE(F_Main->reader->record_open());
    ticks(2);
    EXPECT_EQ(F_Main->link_state, TF_Main::Probing);
    EXPECT_EQ(inst.received(), "PPPPP");
    inst.send("\r\n");
    ticks(1);
    EXPECT_EQ(F_Main->link_state, TF_Main::Identifying);
    show(data_line());
    EXPECT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
    EXPECT_EQ(F_Main->link_state, TF_Main::Running);
    EXPECT_TRUE(F_Main->recording);
    F_Main->A_StopSchedule->trigger();
    EXPECT_EQ(read_file(F_Main->record_path.toStdString()), data_line());

    // Identifying: a silent instrument still times out, 121 ticks on.
    F_Main->A_Connect->trigger();
    qelm_reader::set_synced(false);
    connect_and_sync();
    F_Schedule->A_SetSchedule->trigger();
    ticks(120);
    EXPECT_EQ(F_Main->link_state, TF_Main::Identifying);
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Attempting to connect to instrument");
    ticks(1);
    EXPECT_EQ(F_Main->link_state, TF_Main::TimedOut);
    // The next sample, starting between that tick and the next, does not
    // swallow the time-out.
    clock.set(F_Main->schedule_stop);
    F_Main->TimerMinuteTimer();
    ticks(1);
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Nothing found");
    expect_disconnected_look();
}

TEST_F(connection, only_the_arrows_change_and_store_the_port) {
    port_chooser* chooser = F_Main->UD_Serial;
    const auto wheel = [chooser](int delta) {
        QWheelEvent e(QPointF(5, 5), chooser->mapToGlobal(QPoint(5, 5)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(chooser, &e);
    };
    struct row {
        const char* what;
        std::function<void()> act;
        int port; // after it, from 7
    };
    const row rows[] = {
        {"wheel up", [&] { wheel(120); }, 7},
        {"wheel down", [&] { wheel(-120); }, 7},
        {"PageUp", [&] { QTest::keyClick(chooser, Qt::Key_PageUp); }, 7},
        {"PageDown", [&] { QTest::keyClick(chooser, Qt::Key_PageDown); }, 7},
        {"Up", [&] { QTest::keyClick(chooser, Qt::Key_Up); }, 8},
        {"Down", [&] { QTest::keyClick(chooser, Qt::Key_Down); }, 6},
        {"a click on the up arrow",
         [&] { QTest::mouseClick(chooser, Qt::LeftButton, {}, QPoint(chooser->width() - 4, 4)); },
         8},
    };
    F_Main->show();
    for (const row& r : rows) {
        remove_settings();
        F_Main->settings.load();
        chooser->setValue(7);
        r.act();
        EXPECT_EQ(chooser->value(), r.port) << r.what;
        EXPECT_EQ(stored("commport"), r.port == 7 ? "" : std::to_string(r.port)) << r.what;
    }
}

using no_instrument = windows_test;

TEST_F(no_instrument, a_missing_port_is_reported_and_the_window_stays_disconnected) {
    create_windows();
    F_Main->settings.include_time = true;
    F_Main->UD_Serial->setValue(99);
    F_Main->A_Connect->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Could Not Open COM99.");
    EXPECT_EQ(prompts.messages[0].caption, "Error in communications");
    EXPECT_EQ(prompts.messages[0].detail, "/dev/ttyS98: No such file or directory");
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Haven't even tried yet.");
    expect_disconnected_look();
    // The fresh reader stays, unconnected, with the stored record format;
    // the next click tries again.
    EXPECT_FALSE(F_Main->reader->port_open());
    EXPECT_TRUE(F_Main->reader->include_time());
    F_Main->A_Connect->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts.messages.size(), 2u);
}

TEST_F(no_instrument, the_one_second_tick_sets_both_clock_labels) {
    create_windows();
    EXPECT_TRUE(F_Main->TimerMinute->isActive());
    EXPECT_EQ(F_Main->TimerMinute->interval(), 1000);
    clock.set(1204621503); // a Tuesday in March 2008, in UTC
    F_Main->TimerMinuteTimer();
    EXPECT_EQ(F_Main->L_Time->text(), "Tue Mar 04 09:05:03 2008\n");
    EXPECT_EQ(F_Calibration->L_Time->text(), "Tue Mar 04 09:05:03 2008\n");
}

TEST_F(no_instrument, about_names_the_program_its_version_and_purpose) {
    create_windows();
    F_Main->MAbout->trigger();
    ASSERT_EQ(prompts.abouts.size(), 1u);
    EXPECT_EQ(prompts.abouts[0].caption, "About Marev");
    EXPECT_TRUE(prompts.abouts[0].text.contains("Marev " MAREV_VERSION));
    EXPECT_TRUE(prompts.abouts[0].text.contains("bioluminescence"));
    EXPECT_TRUE(prompts.messages.empty());
}

} // namespace
