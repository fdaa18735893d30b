// The options window: the record format chosen, stored and in force at once.

#include "windows_fixture.h"

#include "app/options_window.h"

#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cstdio>

namespace {

class options : public instrument_test {
protected:
    // Through the main window's menu entry, as a person opens it.
    static void open_options() {
        F_Main->A_Options->trigger();
        ASSERT_TRUE(QTest::qWaitForWindowActive(F_Options));
    }

    // The time stamp that an entry written at clock time t carries.
    std::string stamp(std::int64_t t) const {
        const marev::local_time l = clock.local(t);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d,%02d:%02d:%02d,", l.year, l.month, l.day,
                      l.hour, l.minute, l.second);
        return buf;
    }
};

TEST_F(options, the_first_run_marks_raw_data_and_stores_that_choice) {
    EXPECT_EQ(stored("include_time"), "");
    open_options();
    EXPECT_EQ(F_Options->windowTitle(), "Options");
    EXPECT_TRUE(F_Options->RadioButton1->isChecked());
    EXPECT_FALSE(F_Options->RadioButton2->isChecked());
    EXPECT_EQ(F_Options->RadioButton1->text(), "Raw data");
    EXPECT_EQ(F_Options->RadioButton2->text(), "Raw data with time stamps");
    // Marking the button counted as choosing it.
    EXPECT_EQ(stored("include_time"), "0");
    EXPECT_FALSE(F_Main->reader->include_time());

    F_Options->Button1->click();
    EXPECT_TRUE(F_Options->isHidden());
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(options, time_stamps_chosen_during_a_recording_stamp_only_the_later_lines) {
    temp_dir out;
    const std::string path = out.file("rec.dat");
    connect_and_sync();
    show(data_line());
    prompts.save_answers.push_back(QString::fromStdString(path));
    F_Main->A_Record->trigger();
    const std::string first = data_line({.ave_bl = 1, .pmt = 5, .count = 1});
    const std::string second = data_line({.ave_bl = 2, .pmt = 5, .count = 2});
    const std::string third = data_line({.ave_bl = 3, .pmt = 5, .count = 3});
    show(first);

    open_options();
    F_Options->RadioButton2->click();
    EXPECT_TRUE(F_Main->reader->include_time());
    EXPECT_TRUE(F_Main->settings.include_time);
    EXPECT_EQ(stored("include_time"), "1");

    show(second);
    const std::int64_t second_at = clock.now();
    show(third);
    const std::int64_t third_at = clock.now();
    F_Main->A_Record->trigger();
    EXPECT_EQ(read_file(path), first + stamp(second_at) + second + stamp(third_at) + third);

    // And back to raw data, for the open file and the next connection.
    F_Options->RadioButton1->click();
    EXPECT_FALSE(F_Main->reader->include_time());
    EXPECT_EQ(stored("include_time"), "0");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(options, the_choice_holds_for_later_connections_and_survives_a_restart) {
    open_options();
    F_Options->RadioButton2->click();
    // Closed with the title-bar button: nothing to cancel.
    F_Options->close();
    EXPECT_TRUE(F_Main->settings.include_time);

    connect();
    EXPECT_TRUE(F_Main->reader->include_time());

    destroy_windows();
    create_windows();
    EXPECT_TRUE(F_Main->reader->include_time());
    open_options();
    EXPECT_TRUE(F_Options->RadioButton2->isChecked());
    EXPECT_FALSE(F_Options->RadioButton1->isChecked());
    EXPECT_EQ(stored("include_time"), "1");
    EXPECT_TRUE(prompts.messages.empty());
}

} // namespace
