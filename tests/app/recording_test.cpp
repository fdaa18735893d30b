// Recording by hand: the save dialog, the file's first and last lines, the
// progress labels of the one-second tick, a file that cannot be written, and
// a reconnection in the middle of a recording.

#include "windows_fixture.h"

#include "link/record_file.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

#include <cstdint>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

class recording : public instrument_test {
protected:
    // Connected, and the instrument found, so the record action is offered.
    void found() {
        connect_and_sync();
        show(line(0));
        ASSERT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
        ASSERT_TRUE(F_Main->A_Record->isVisible());
    }

    // Line i, told apart by its first count.

    void start(const std::string& path) {
        prompts.save_answers.push_back(QString::fromStdString(path));
        F_Main->A_Record->trigger();
        ASSERT_TRUE(F_Main->recording);
    }

    // The instrument sends a line and the reader takes it; nothing is shown.
    void take(const std::string& text) {
        inst.send(text);
        F_Main->reader->poll();
    }

    static void expect_idle() {
        EXPECT_FALSE(F_Main->recording);
        EXPECT_EQ(F_Main->A_Record->text(), "Start Recording");
        EXPECT_EQ(F_Main->A_Record->shortcut(), QKeySequence(Qt::Key_F3));
        EXPECT_FALSE(F_Main->reader->record_open());
    }

    temp_dir out;
    std::string path = out.file("by_hand.dat");
};

TEST_F(recording, by_hand_the_file_holds_every_line_taken_from_the_start_to_the_stop) {
    found();

    // Cancelled: nothing changes, and the next click asks again.
    F_Main->A_Record->trigger();
    ASSERT_EQ(prompts.save_requests.size(), 1u);
    EXPECT_EQ(prompts.save_requests[0].toStdString(),
              record_file_name(7, clock.local(clock.now())));
    expect_idle();
    EXPECT_TRUE(F_Main->L_FileName->isHidden());
    EXPECT_TRUE(F_Main->record_path.isEmpty());

    // Taken before the start: not recorded; half a line pending at the
    // start is the first line taken after it.
    take(line(1) + "\n");
    take(line(2).substr(0, 25));
    start(path);
    EXPECT_EQ(prompts.save_requests.size(), 2u);
    EXPECT_EQ(F_Main->A_Record->text(), "Stop Recording");
    EXPECT_EQ(F_Main->A_Record->shortcut(), QKeySequence(Qt::Key_F4));
    EXPECT_EQ(F_Main->record_path.toStdString(), path);
    EXPECT_EQ(F_Main->L_FileName->text().toStdString(), path);
    EXPECT_FALSE(F_Main->L_FileName->isHidden());
    EXPECT_FALSE(F_Main->L_RecordingTo->isHidden());

    inst.send(line(2).substr(25) + "\n");
    show(line(3));
    show(line(4));
    // Taken but not shown yet when the stop comes: in the file all the same.
    take(line(5) + "\n");
    F_Main->A_Record->trigger();
    expect_idle();
    EXPECT_EQ(read_file(path), line(2) + line(3) + line(4) + line(5));
    EXPECT_EQ(F_Main->L_FileName->text().toStdString(), path);
    EXPECT_FALSE(F_Main->L_FileName->isHidden());

    // A new recording into the same file empties it first.
    start(path);
    show(line(6));
    F_Main->A_Record->trigger();
    EXPECT_EQ(read_file(path), line(6));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(recording, a_file_that_cannot_be_opened_is_reported_and_nothing_starts) {
    found();
    prompts.save_answers.push_back(QString::fromStdString(out.file("no such folder/x.dat")));
    // Caught where the action is connected, and shown from the event loop.
    F_Main->A_Record->trigger();
    EXPECT_TRUE(prompts.messages.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to open file for saving.");
    expect_idle();
    EXPECT_TRUE(F_Main->L_FileName->isHidden());
    F_Main->TimerMinuteTimer();
    EXPECT_TRUE(F_Main->L_FileSize->isHidden());
}

TEST_F(recording, the_progress_texts_follow_the_file_size_and_the_time_recorded) {
    found();
    const std::int64_t t0 = clock.now();
    start(path);
    EXPECT_TRUE(F_Main->L_FileSize->isHidden());

    constexpr std::uint64_t MiB = 1048576, GiB = 1024 * MiB;
    const struct {
        std::uint64_t size;
        std::int64_t seconds;
        const char* size_text;
        const char* time_text;
    } cases[] = {
        {0, 0, "File size: 0 bytes", "Recorded for 0 seconds"},
        {1023, 59, "File size: 1023 bytes", "Recorded for 59 seconds"},
        {1024, 60, "File size: 1 KB", "Recorded for 1 minute"},
        {MiB - 1, 119, "File size: 1023 KB", "Recorded for 1 minute"},
        {MiB, 120, "File size: 1.0 MB", "Recorded for 2 minutes"},
        {MiB + MiB / 2, 3599, "File size: 1.5 MB", "Recorded for 59 minutes"},
        // Past what 32 bits hold.
        {2 * GiB + 1, 3600, "File size: 2048.0 MB", "Recorded for 1.0 hours"},
        {5 * GiB, 90000, "File size: 5120.0 MB", "Recorded for 25.0 hours"},
    };
    for (const auto& c : cases) {
        fs::resize_file(path, c.size); // sparse: no disk space taken
        clock.set(t0 + c.seconds);
        F_Main->TimerMinuteTimer();
        EXPECT_EQ(F_Main->L_FileSize->text(), c.size_text) << c.size;
        EXPECT_EQ(F_Main->L_TimeRecording->text(), c.time_text) << c.seconds;
    }
    for (QWidget* w :
         {static_cast<QWidget*>(F_Main->L_FileSize), static_cast<QWidget*>(F_Main->L_TimeRecording),
          static_cast<QWidget*>(F_Main->L_FileName), static_cast<QWidget*>(F_Main->L_RecordingTo)})
        EXPECT_FALSE(w->isHidden()) << w->objectName().toStdString();

    // The file removed: the size cannot be read, the time text stays, and
    // the recording goes on.
    fs::remove(path);
    clock.advance(100);
    F_Main->TimerMinuteTimer();
    EXPECT_EQ(F_Main->L_FileSize->text(), "Error determining file size.");
    EXPECT_EQ(F_Main->L_TimeRecording->text(), "Recorded for 25.0 hours");
    show(line(1));
    EXPECT_TRUE(F_Main->recording);

    // After the stop the labels keep their last texts.
    F_Main->A_Record->trigger();
    clock.advance(100);
    F_Main->TimerMinuteTimer();
    EXPECT_EQ(F_Main->L_TimeRecording->text(), "Recorded for 25.0 hours");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(recording, a_calibration_countdown_holds_the_progress_labels_until_it_ends) {
    found();
    const std::int64_t t0 = clock.now();
    start(path);
    F_Main->TimerMinuteTimer();
    EXPECT_EQ(F_Main->L_TimeRecording->text(), "Recorded for 0 seconds");

    F_Calibration->countdown = 2;
    show(line(1));
    clock.set(t0 + 5);
    F_Main->TimerMinuteTimer();
    EXPECT_EQ(F_Calibration->L_ReadingTime->text(), "Recording for 2 more seconds...");
    EXPECT_EQ(F_Calibration->countdown, 1);
    EXPECT_EQ(F_Main->L_TimeRecording->text(), "Recorded for 0 seconds");
    EXPECT_EQ(F_Main->L_FileSize->text(), "File size: 0 bytes");
    EXPECT_EQ(F_Main->L_Time->text().toStdString(), marev::clock_text(clock.local(t0 + 5)));

    clock.set(t0 + 6);
    F_Main->TimerMinuteTimer();
    EXPECT_EQ(F_Calibration->L_ReadingTime->text(), "Recording for 1 more seconds...");
    EXPECT_EQ(F_Calibration->countdown, 0);
    EXPECT_EQ(F_Main->L_TimeRecording->text(), "Recorded for 0 seconds");

    clock.set(t0 + 7);
    F_Main->TimerMinuteTimer();
    EXPECT_EQ(F_Calibration->L_ReadingTime->text(), "Recording for 1 more seconds...");
    EXPECT_EQ(F_Main->L_TimeRecording->text(), "Recorded for 7 seconds");
    EXPECT_EQ(F_Main->L_FileSize->text().toStdString(),
              "File size: " + std::to_string(line(1).size()) + " bytes");
}

TEST_F(recording, a_full_disk_is_told_once_per_recording_and_the_program_goes_on) {
    found();
    for (int run = 1; run <= 2; ++run) {
        start("/dev/full");
        show(line(1));
        EXPECT_EQ(F_Main->L_FileSize->text(), "File cannot be written!");
        EXPECT_FALSE(F_Main->L_FileSize->isHidden());
        // The box opens from the event loop, never inside a tick.
        EXPECT_EQ(prompts.messages.size(), std::size_t(run - 1));
        QCoreApplication::processEvents();
        ASSERT_EQ(prompts.messages.size(), std::size_t(run));
        const auto& m = prompts.messages.back();
        EXPECT_EQ(m.caption, "Error writing file");
        EXPECT_TRUE(m.text.contains("can no longer be written")) << m.text.toStdString();
        EXPECT_TRUE(m.detail.contains("/dev/full")) << m.detail.toStdString();
        EXPECT_TRUE(m.detail.contains("No space left on device")) << m.detail.toStdString();

        // More lines, more seconds: the display goes on, the label keeps
        // saying so, and nothing is told twice.
        const std::uint32_t before = F_Main->shown;
        for (int i = 2; i < 5; ++i) {
            show(line(i));
            F_Main->TimerMinuteTimer();
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(F_Main->shown, before + 3);
        EXPECT_EQ(F_Main->L_Raw->text(), "Raw counts: 1004");
        EXPECT_EQ(F_Main->L_FileSize->text(), "File cannot be written!");
        EXPECT_EQ(prompts.messages.size(), std::size_t(run));

        F_Main->A_Record->trigger();
        QCoreApplication::processEvents();
        expect_idle();
        EXPECT_EQ(prompts.messages.size(), std::size_t(run));
    }
}

TEST_F(recording, a_reconnection_ends_a_recording_by_hand_with_every_line_in_its_file) {
    found();
    start(path);
    show(line(1));
    take(line(2) + "\n");

    // A disconnection leaves the recording running.
    F_Main->A_Connect->trigger();
    EXPECT_TRUE(F_Main->recording);
    EXPECT_TRUE(F_Main->reader->record_open());
    clock.advance(1);
    F_Main->TimerMinuteTimer();
    const QString size_text = F_Main->L_FileSize->text(),
                  time_text = F_Main->L_TimeRecording->text();

    connect();
    EXPECT_FALSE(F_Main->recording);
    EXPECT_EQ(F_Main->A_Record->text(), "Start Recording");
    EXPECT_EQ(F_Main->A_Record->shortcut(), QKeySequence(Qt::Key_F3));
    EXPECT_FALSE(F_Main->A_Record->isVisible()); // until the instrument is found
    EXPECT_EQ(read_file(path), line(1) + line(2));
    // No recording without a file: the labels stand still.
    clock.advance(30);
    F_Main->TimerMinuteTimer();
    EXPECT_EQ(F_Main->L_FileSize->text(), size_text);
    EXPECT_EQ(F_Main->L_TimeRecording->text(), time_text);
    EXPECT_EQ(F_Main->L_FileName->text().toStdString(), path);

    show(line(3)); // the first byte
    show(line(4));
    ASSERT_EQ(F_Main->L_CommStatus->text(), "QELM found.");
    EXPECT_TRUE(F_Main->A_Record->isVisible());
    expect_idle();
    EXPECT_EQ(read_file(path), line(1) + line(2));
    EXPECT_TRUE(prompts.messages.empty());
}

} // namespace
