// A device that vanishes (adapter pulled, cable cut): the window says so,
// the record file keeps every line received, and a new connection works.

#include "windows_fixture.h"

#include <QAction>
#include <QLabel>
#include <QTimer>

namespace {

class lost : public instrument_test {
protected:
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
}

} // namespace
