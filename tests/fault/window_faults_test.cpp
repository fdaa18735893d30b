// Faults seen through the windows: the instrument vanishing in the middle of
// a recording, a burst of lines, the port held by another program, and a
// settings store that cannot be written. The test plays the instrument on a
// pseudo-terminal.

#include "windows_fixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// CPU seconds this process has used, user and system.
double cpu_seconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds used while the event loop turns for the given time.
double cpu_while_running(int ms) {
    const double before = cpu_seconds();
    QTest::qWait(ms);
    return cpu_seconds() - before;
}

class window_faults : public instrument_test {
protected:
    // Connected, the instrument found, and a recording by hand started.
    void recording_to(const std::string& path) {
        connect_and_sync();
        show(line(0));
        ASSERT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
        prompts.save_answers.push_back(QString::fromStdString(path));
        F_Main->A_Record->trigger();
        ASSERT_TRUE(F_Main->reader->record_open());
    }

    temp_dir out;
    std::string path = out.file("run.dat");
};

TEST_F(window_faults, a_vanished_instrument_is_shown_lost_with_every_complete_line_in_the_file) {
    recording_to(path);
    std::string expected;
    for (int i = 1; i <= 3; ++i) {
        show(line(i));
        expected += line(i);
    }
    // Two lines taken but not yet shown, then half a line, then the cable goes.
    inst.send(line(4) + "\n" + line(5) + "\n" + line(6).substr(0, 40));
    F_Main->reader->poll();
    expected += line(4) + line(5);

    const double connected_cpu = cpu_while_running(1000);
    inst.vanish();
    ticks(2);
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Instrument lost.");
    EXPECT_EQ(F_Main->A_Connect->text(), "Connect To Instrument");
    EXPECT_EQ(read_file(path), expected);

    // Nothing spins on the dead device: a spin would use a whole second.
    const double lost_cpu = cpu_while_running(1000);
    EXPECT_LT(lost_cpu, 0.3);
    EXPECT_LT(lost_cpu, connected_cpu + 0.2) << "connected: " << connected_cpu;
    EXPECT_EQ(read_file(path), expected);

    // Plugged in again (another device on another port): connecting by hand works.
    fake_instrument again(8);
    F_Main->UD_Serial->setValue(again.port());
    F_Main->A_Connect->trigger();
    for (int i = 7; i <= 9; ++i) {
        again.send(line(i) + "\n");
        clock.advance(1);
        ticks(1);
    }
    EXPECT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
    EXPECT_TRUE(F_Main->L_Raw->text().startsWith("Raw counts: 100"))
        << F_Main->L_Raw->text().toStdString();
    EXPECT_EQ(read_file(path), expected); // the reconnection ended the recording
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(window_faults, a_burst_is_shown_one_record_a_tick_and_filed_at_once) {
    recording_to(path);
    const std::uint32_t before = F_Main->shown;
    std::string burst, expected;
    for (int i = 1; i <= 40; ++i) {
        burst += line(i) + "\n";
        expected += line(i);
    }
    inst.send(burst);
    std::size_t filed = 0;
    for (int t = 1; t <= 40; ++t) {
        ticks(1);
        ASSERT_EQ(F_Main->shown, before + std::uint32_t(t));
        // The file takes every line read so far, never waiting for the display.
        const std::string now = read_file(path);
        ASSERT_EQ(expected.compare(0, now.size(), now), 0);
        ASSERT_GE(now.size(), filed);
        filed = now.size();
        if (t == 5) {
            ASSERT_EQ(F_Main->reader->record_count(), before + 40);
            ASSERT_EQ(now, expected);
        }
    }
    EXPECT_EQ(F_Main->L_Raw->text(), "Raw counts: 1040");
    ticks(3);
    EXPECT_EQ(F_Main->shown, before + 40);
    F_Main->A_Record->trigger();
    EXPECT_EQ(read_file(path), expected);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(window_faults, a_port_locked_by_another_program_is_refused_and_nothing_changes) {
    // Another process opens the device and holds its lock until told to end.
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(done[1]);
        const int fd = ::open(inst.device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        char c;
        (void)!::read(done[0], &c, 1);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(done[0]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');

    const QString status = F_Main->L_CommStatus->text();
    F_Main->A_Connect->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Could Not Open COM7.");
    EXPECT_EQ(prompts.messages[0].caption, "Error in communications");
    EXPECT_EQ(F_Main->L_CommStatus->text(), status);
    EXPECT_EQ(F_Main->A_Connect->text(), "Connect To Instrument");
    EXPECT_TRUE(F_Main->UD_Serial->isEnabled());
    EXPECT_FALSE(F_Main->Timer1->isActive());
    EXPECT_FALSE(F_Main->reader->port_open());
    EXPECT_TRUE(inst.received().empty()); // not even a probe reached the device

    // The other program lets go: the next click connects.
    ::close(done[1]);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    connect_and_sync();
    show(line(1));
    EXPECT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
    EXPECT_EQ(prompts.messages.size(), 1u);
}

// A settings store that nothing can write: the configuration folder's
// "Quorvex" is a plain file, so even root cannot make the settings file.
class unwritable_store : public windows_test {
protected:
    void SetUp() override {
        windows_test::SetUp();
        blocker = fs::path(settings_path()).parent_path();
        fs::remove_all(blocker);
        write_file(blocker.string(), "not a folder\n");
    }
    void TearDown() override {
        windows_test::TearDown();
        fs::remove(blocker);
    }

    fs::path blocker;
    fake_instrument inst{3};
};

TEST_F(unwritable_store, is_told_and_the_value_chosen_holds_for_the_run) {
    create_windows();
    EXPECT_TRUE(prompts.messages.empty()); // reading finds nothing and takes the defaults
    ASSERT_EQ(F_Main->UD_Serial->value(), 2);

    QTest::keyClick(F_Main->UD_Serial, Qt::Key_Up);
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to write to registry!");
    EXPECT_EQ(F_Main->settings.commport, 3);

    // The program goes on, and connects to the port chosen.
    F_Main->A_Connect->trigger();
    inst.send("\r\n");
    ticks(1);
    inst.send(data_line() + "\n");
    clock.advance(1);
    ticks(1);
    EXPECT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(fs::is_regular_file(blocker));
}

} // namespace
