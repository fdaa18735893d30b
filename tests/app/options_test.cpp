// The options window: the record format chosen, stored and in force at once.

#include "windows_fixture.h"

#include "app/options_window.h"
#include "app/serial_ports_window.h"

#include <QCheckBox>
#include <QSpinBox>
#include <QTreeWidget>
#include <filesystem>

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

TEST_F(options, reconnecting_is_on_at_first_and_a_click_stores_it_off) {
    open_options();
    EXPECT_EQ(F_Options->CB_Reconnect->text(), "Reconnect when the instrument comes back");
    EXPECT_TRUE(F_Options->CB_Reconnect->isChecked());
    F_Options->CB_Reconnect->click();
    EXPECT_FALSE(F_Main->settings.reconnect);
    EXPECT_EQ(stored("reconnect"), "0");
    // The next run reads it back.
    reg again;
    again.load();
    EXPECT_FALSE(again.reconnect);
    F_Options->CB_Reconnect->click();
    EXPECT_EQ(stored("reconnect"), "1");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(options, the_serial_ports_window_links_a_chosen_device_to_a_chosen_port) {
    namespace fs = std::filesystem;
    temp_dir dev, ports;
    set_port_folder(ports.path().string());
    write_file(dev.file("ttyUSB0"), "");
    write_file(dev.file("ttyUSB3"), "");
    fs::create_directories(dev.path() / "serial" / "by-id");
    const std::string stable = (dev.path() / "serial" / "by-id" / "usb-Maker_Adapter").string();
    fs::create_symlink("../../ttyUSB3", stable);
    fs::create_symlink(dev.file("ttyUSB0"), ports.path() / "COM2");

    F_Main->UD_Serial->setValue(4);
    F_Main->A_SerialPorts->trigger();
    TF_SerialPorts& w = *F_Main->F_SerialPorts;
    EXPECT_EQ(w.windowTitle(), "Serial Ports");
    EXPECT_EQ(w.UD_Port->value(), 4);
    w.dev_root = dev.path().string();
    w.Refresh();
    ASSERT_EQ(w.LV_Devices->topLevelItemCount(), 2);
    const auto row = [&](int i) {
        return w.LV_Devices->topLevelItem(i)->text(0).toStdString() + " " +
               w.LV_Devices->topLevelItem(i)->text(1).toStdString();
    };
    EXPECT_EQ(row(0), stable + " ");
    EXPECT_EQ(row(1), dev.file("ttyUSB0") + " COM2");
    EXPECT_FALSE(w.B_Link->isEnabled());

    w.LV_Devices->setCurrentItem(w.LV_Devices->topLevelItem(0));
    w.UD_Port->setValue(5);
    w.B_Link->click();
    EXPECT_EQ(row(0), stable + " COM5");
    EXPECT_EQ(fs::read_symlink(ports.path() / "COM5").string(), stable);
    // Choosing a linked device offers its number.
    w.LV_Devices->setCurrentItem(w.LV_Devices->topLevelItem(1));
    EXPECT_EQ(w.UD_Port->value(), 2);
    EXPECT_TRUE(prompts.messages.empty());

    // A number held by a file of the user's own is refused and told.
    write_file((ports.path() / "COM6").string(), "mine");
    w.UD_Port->setValue(6);
    w.B_Link->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Could not link COM6 to the device.");
    EXPECT_EQ(row(1), dev.file("ttyUSB0") + " COM2");
}

} // namespace
