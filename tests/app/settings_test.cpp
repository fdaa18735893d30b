#include "windows_fixture.h"

#include "app/port_chooser.h"
#include "app/reg.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>

#include <filesystem>

namespace {

using settings = windows_test;

TEST_F(settings, first_run_gives_the_defaults_and_writes_nothing) {
    create_windows();
    const reg& s = F_Main->settings;
    EXPECT_EQ(s.commport, 2);
    EXPECT_FALSE(s.include_time);
    EXPECT_EQ(s.savedir, reg::default_savedir());
    EXPECT_EQ(s.calfile, "");
    // The chooser shows the stored port, not the 4 of the layout.
    EXPECT_EQ(F_Main->UD_Serial->value(), 2);
    EXPECT_EQ(F_Main->E_Serial->text(), "2");
    EXPECT_FALSE(F_Main->reader->include_time());
    EXPECT_FALSE(std::filesystem::exists(settings_path()));
}

TEST_F(settings, load_keeps_the_pair_unless_the_port_reads) {
    struct row {
        const char* file;
        int commport;
        bool include_time;
    };
    // A record that held port 9 with time stamps before load().
    const row rows[] = {
        {.file = "", .commport = 9, .include_time = true},
        // No port: neither changes.
        {.file = "include_time=0", .commport = 9, .include_time = true},
        {.file = "commport=5\ninclude_time=0", .commport = 5, .include_time = false},
        // Only the flag keeps its value.
        {.file = "commport=5", .commport = 5, .include_time = true},
        {.file = "commport=abc\ninclude_time=0", .commport = 9, .include_time = true},
        {.file = "commport=5\ninclude_time=yes", .commport = 5, .include_time = true},
        // Low 16 bits; any non-zero is on.
        {.file = "commport=65538\ninclude_time=3", .commport = 2, .include_time = true},
        {.file = "commport=40000", .commport = -25536, .include_time = true},
        {.file = "commport= 12 \ninclude_time=1", .commport = 12, .include_time = true},
    };
    for (const row& r : rows) {
        store_settings(r.file);
        reg s;
        s.commport = 9;
        s.include_time = true;
        s.load();
        EXPECT_EQ(s.commport, r.commport) << r.file;
        EXPECT_EQ(s.include_time, r.include_time) << r.file;
    }
}

TEST_F(settings, load_reads_the_folders) {
    struct row {
        const char* file;
        QString savedir, calfile;
    };
    const QString home = reg::default_savedir();
    const row rows[] = {
        {"", home, ""},
        {"savedir=", home, ""},
        {"savedir=/data/qelm\ncalfile=/data/cal.txt", "/data/qelm", "/data/cal.txt"},
        // A list is a value of another type.
        {"savedir=/a, /b\ncalfile=/c, /d", home, ""},
    };
    for (const row& r : rows) {
        store_settings(r.file);
        reg s;
        s.load();
        EXPECT_EQ(s.savedir, r.savedir) << r.file;
        EXPECT_EQ(s.calfile, r.calfile) << r.file;
    }
}

TEST_F(settings, a_stored_flag_without_a_port_loads_as_the_defaults) {
    store_settings("include_time=1");
    create_windows();
    EXPECT_EQ(F_Main->UD_Serial->value(), 2);
    EXPECT_FALSE(F_Main->settings.include_time);
}

TEST_F(settings, arrow_clicks_write_all_four_and_typing_writes_nothing) {
    store_settings("commport=5\ninclude_time=1\nsavedir=/data");
    create_windows();
    EXPECT_EQ(F_Main->UD_Serial->value(), 5);
    EXPECT_TRUE(F_Main->reader->include_time());

    // Typing moves the chooser but stores nothing.
    F_Main->E_Serial->selectAll();
    QTest::keyClicks(F_Main->E_Serial, "8");
    EXPECT_EQ(F_Main->UD_Serial->value(), 8);
    EXPECT_EQ(stored("commport"), "5");

    // A calibration file chosen in the meantime goes out with the next write.
    F_Main->settings.calfile = "/data/cal.txt";
    QTest::keyClick(F_Main->UD_Serial, Qt::Key_Up);
    EXPECT_EQ(F_Main->settings.commport, 9);
    EXPECT_EQ(stored("commport"), "9");
    EXPECT_EQ(stored("include_time"), "1");
    EXPECT_EQ(stored("savedir"), "/data");
    EXPECT_EQ(stored("calfile"), "/data/cal.txt");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(settings, an_unwritable_store_reaches_the_top_level_handler_and_the_program_goes_on) {
    create_windows();
    // A folder where the file should be: nothing can write it, not even root.
    std::filesystem::create_directories(settings_path());

    QTest::keyClick(F_Main->UD_Serial, Qt::Key_Up);
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to write to registry!");
    // The new value stays in memory and the window keeps working.
    EXPECT_EQ(F_Main->settings.commport, 3);
    QTest::keyClick(F_Main->UD_Serial, Qt::Key_Up);
    QCoreApplication::processEvents();
    EXPECT_EQ(F_Main->settings.commport, 4);
    EXPECT_EQ(prompts.messages.size(), 2u);

    EXPECT_THROW(F_Main->settings.save(), std::runtime_error);
}

} // namespace
