// A device that vanishes (adapter pulled, cable cut): the window says so,
// the record file keeps every line received, and the same port is tried
// again until the device is back (or, with the option off, a new connection
// by hand works).

#include "windows_fixture.h"

#include "link/event_log.h"

#include <QAction>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

class lost : public instrument_test {
protected:
    void SetUp() override {
        instrument_test::SetUp();
        std::filesystem::remove(marev::event_log_path());
    }

    // The option off: lost is lost, as before there was a wait.
    static void no_reconnect() { F_Main->settings.reconnect = false; }

    static void expect_waiting(int seconds) {
        EXPECT_EQ(F_Main->L_CommStatus->text().toStdString(),
                  "Instrument lost. Waiting for it to come back... (" + std::to_string(seconds) +
                      " s)");
        EXPECT_EQ(F_Main->A_Connect->text(), "Disconnect");
        EXPECT_EQ(F_Main->A_Connect->shortcut(), QKeySequence(Qt::Key_F2));
        EXPECT_FALSE(F_Main->Timer1->isActive());
        EXPECT_TRUE(F_Main->TimerReconnect->isActive());
        EXPECT_FALSE(F_Main->UD_Serial->isEnabled());
        EXPECT_FALSE(F_Main->A_Record->isVisible());
    }

    // The events logged so far, without their time stamps.
    static std::vector<std::string> events() {
        std::vector<std::string> out;
        std::istringstream in(read_file(marev::event_log_path()));
        for (std::string l; std::getline(in, l);)
            out.push_back(l.substr(l.find(' ') + 1));
        return out;
    }

    void expect_disconnected() {
        EXPECT_EQ(F_Main->L_CommStatus->text(), "Instrument lost.");
        EXPECT_EQ(F_Main->A_Connect->text(), "Connect To Instrument");
        EXPECT_EQ(F_Main->A_Connect->data().toInt(), 1);
        EXPECT_FALSE(F_Main->Timer1->isActive());
        EXPECT_FALSE(F_Main->A_Record->isVisible());
        EXPECT_TRUE(F_Main->UD_Serial->isEnabled());
        EXPECT_TRUE(prompts.messages.empty());
    }
};

TEST_F(lost, mid_recording_the_file_keeps_every_complete_line_received) {
    no_reconnect();
    temp_dir out;
    const std::string path = out.file("lost.dat");
    connect_and_sync();
    show(line(0));
    prompts.save_answers.push_back(QString::fromStdString(path));
    F_Main->A_Record->trigger();
    ASSERT_TRUE(F_Main->recording);
    show(line(1));
    // Two lines arrive at once and half of a third; the reader takes them
    // but shows none, then the device goes. (What the system still held for
    // the device when it hung up is dropped there: never received here.)
    inst.send(line(2) + "\n" + line(3) + "\n" + line(4).substr(0, 40));
    F_Main->reader->poll();
    inst.vanish();
    ticks(1);

    expect_disconnected();
    EXPECT_EQ(read_file(path), line(1) + line(2) + line(3));
    // Further ticks of the one-second timer do not report anything.
    F_Main->TimerMinuteTimer();
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(lost, before_the_instrument_answers_and_a_new_connection_works_afterwards) {
    no_reconnect();
    connect();
    inst.vanish();
    ticks(1);
    expect_disconnected();

    fake_instrument other{8};
    F_Main->UD_Serial->setValue(other.port());
    F_Main->A_Connect->trigger();
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Attempting to connect to instrument");
    other.send("\r\n");
    ticks(1);
    other.send(line(0) + "\n");
    ticks(1);
    EXPECT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
    EXPECT_TRUE(F_Main->A_Record->isVisible());
    EXPECT_TRUE(prompts.messages.empty());
    // Nothing is waited for, however long.
    EXPECT_FALSE(F_Main->TimerReconnect->isActive());
}

TEST_F(lost, the_port_is_tried_every_two_seconds_and_the_recording_goes_on_in_its_file) {
    temp_dir out;
    const std::string path = out.file("lost.dat");
    connect_and_sync();
    show(line(0));
    prompts.save_answers.push_back(QString::fromStdString(path));
    F_Main->A_Record->trigger();
    show(line(1));
    inst.send(line(2) + "\n" + line(3).substr(0, 40));
    F_Main->reader->poll();
    inst.vanish();
    ticks(1);
    expect_waiting(0);
    EXPECT_EQ(read_file(path), line(1) + line(2));
    EXPECT_TRUE(F_Main->recording);

    // The seconds grow with the one-second tick; a try before its time, or
    // while the device is still away, changes nothing and tells nobody.
    clock.advance(1);
    F_Main->TimerMinuteTimer();
    expect_waiting(1);
    qelm_reader* before = F_Main->reader.get();
    F_Main->TimerReconnectTimer();
    EXPECT_EQ(F_Main->reader.get(), before);
    clock.advance(1);
    F_Main->TimerReconnectTimer();
    EXPECT_NE(F_Main->reader.get(), before);
    expect_waiting(2);
    // The recording's time goes on while its file waits to be reopened.
    F_Main->TimerMinuteTimer();
    EXPECT_EQ(F_Main->L_TimeRecording->text(), "Recorded for 3 seconds");

    // Back on the same port. The reader had found the stream before the loss;
    // the first bytes now are the end of a line cut by it, which the file
    // must not get.
    fake_instrument back{7};
    clock.advance(2);
    F_Main->TimerReconnectTimer();
    EXPECT_EQ(F_Main->L_CommStatus->text(), "Attempting to connect to instrument");
    EXPECT_TRUE(F_Main->Timer1->isActive());
    EXPECT_FALSE(F_Main->TimerReconnect->isActive());
    EXPECT_EQ(F_Main->A_Connect->text(), "Disconnect");
    ticks(1);
    EXPECT_EQ(back.received(), "P"); // probed as a connection by hand is
    back.send(line(4).substr(40) + "\n" + line(5) + "\n" + line(6) + "\n");
    clock.advance(1);
    ticks(3);
    ASSERT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
    EXPECT_TRUE(F_Main->recording);
    EXPECT_EQ(F_Main->A_Record->text(), "Stop Recording");
    EXPECT_TRUE(F_Main->A_Record->isVisible());
    back.send(line(7) + "\n");
    ticks(1);
    F_Main->A_Record->trigger();
    EXPECT_EQ(read_file(path), line(1) + line(2) + line(5) + line(6));
    EXPECT_TRUE(prompts.messages.empty());

    const std::vector<std::string> logged = events();
    const auto at = [&](const std::string& e) {
        return std::find(logged.begin(), logged.end(), e) - logged.begin();
    };
    const auto lost_at = at("Instrument lost on COM7."),
               back_at = at("Instrument back on COM7 after 4 s.");
    ASSERT_LT(back_at, std::ptrdiff_t(logged.size())) << read_file(marev::event_log_path());
    EXPECT_LT(lost_at, back_at);
    EXPECT_LT(back_at, at("Recording goes on: " + path));
    EXPECT_LT(at("Recording goes on: " + path), at("Recording stopped: " + path));
}

TEST_F(lost, a_port_back_without_an_answer_is_waited_for_again_without_a_box) {
    connect_and_sync();
    show(line(0));
    inst.vanish();
    ticks(1);
    fake_instrument mute{7};
    clock.advance(2);
    F_Main->TimerReconnectTimer();
    ASSERT_TRUE(F_Main->Timer1->isActive());
    ticks(int(TF_Main::wait_limit) + 2);
    expect_waiting(0);
    EXPECT_TRUE(prompts.messages.empty());
    // And found when it answers at last.
    clock.advance(2);
    F_Main->TimerReconnectTimer();
    mute.send("\r\n" + line(1) + "\n");
    ticks(3);
    EXPECT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
    const std::vector<std::string> logged = events();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "No answer on COM7; waiting again."), 1);
}

TEST_F(lost, f2_ends_the_wait_and_the_option_off_never_starts_one) {
    for (const bool by_f2 : {true, false}) {
        SCOPED_TRACE(by_f2 ? "F2" : "option off");
        destroy_windows();
        create_windows();
        fake_instrument gone{7};
        F_Main->UD_Serial->setValue(7);
        if (!by_f2)
            no_reconnect();
        connect();
        gone.vanish();
        ticks(1);
        if (by_f2) {
            expect_waiting(0);
            F_Main->A_Connect->trigger();
            EXPECT_EQ(F_Main->L_CommStatus->text(), "Disconnected.");
            EXPECT_EQ(F_Main->A_Connect->text(), "Connect To Instrument");
            EXPECT_TRUE(F_Main->UD_Serial->isEnabled());
        } else {
            EXPECT_EQ(F_Main->L_CommStatus->text(), "Instrument lost.");
        }
        EXPECT_FALSE(F_Main->TimerReconnect->isActive());
        fake_instrument back{7};
        clock.advance(10);
        F_Main->TimerReconnectTimer();
        F_Main->TimerMinuteTimer();
        EXPECT_FALSE(F_Main->Timer1->isActive());
        EXPECT_FALSE(F_Main->reader->port_open());
        EXPECT_TRUE(prompts.messages.empty());
    }
}

TEST_F(lost, silence_is_told_after_five_seconds_and_the_next_record_clears_it) {
    connect_and_sync();
    show(line(0));
    ASSERT_EQ(F_Main->link_state, TF_Main::Running);
    for (const auto& [seconds, shown] : {std::pair{5, false}, {6, true}, {7, true}}) {
        clock.set(F_Main->reader->time(0) + seconds);
        F_Main->TimerMinuteTimer();
        EXPECT_EQ(!F_Main->L_NoData->isHidden(), shown) << seconds;
        if (shown) {
            EXPECT_EQ(F_Main->L_NoData->text().toStdString(),
                      "No data from the instrument for " + std::to_string(seconds) + " s.");
        }
    }
    show(line(1));
    EXPECT_TRUE(F_Main->L_NoData->isHidden());
    F_Main->TimerMinuteTimer();
    EXPECT_TRUE(F_Main->L_NoData->isHidden());
}

} // namespace
