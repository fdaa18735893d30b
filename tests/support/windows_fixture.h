#pragma once

// A fresh set of the program's windows for each test, with fake prompts, a
// fake clock, no stored settings and an empty port folder.

#include "app/main_window.h"
#include "app/port_chooser.h"
#include "app/prompts.h"
#include "app/windows.h"
#include "calibration/calibration_window.h"
#include "chart/plot_widget.h"
#include "link/clock.h"
#include "link/port_names.h"
#include "link/qelm_reader.h"
#include "terminal/terminal_window.h"

#include "data_lines.h"
#include "fake_instrument.h"
#include "temp_dir.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

inline std::string settings_path() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Quorvex", "Marev01")
        .fileName()
        .toStdString();
}

// Puts text into the settings file as a person or an older program would
// have left it. Each write gets a time stamp of its own, so the settings
// cache always sees a changed file.
inline void store_settings(const std::string& text) {
    namespace fs = std::filesystem;
    static auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(1);
    stamp += std::chrono::seconds(1);
    const std::string path = settings_path();
    fs::create_directories(fs::path(path).parent_path());
    write_file(path, "[General]\n" + text + "\n");
    fs::last_write_time(path, stamp);
}

inline void remove_settings() {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::remove_all(settings_path(), ec);
}

// What the settings file holds for key, read afresh ("" when absent).
inline std::string stored(const char* key) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Quorvex", "Marev01");
    s.sync();
    return s.value(key).toString().toStdString();
}

class windows_test : public ::testing::Test {
protected:
    windows_test() { set_port_folder(no_ports.path().string()); }

    void SetUp() override {
        qelm_reader::set_synced(false);
        marev::set_clock(&clock);
        marev::set_prompts(&prompts);
        remove_settings();
    }
    void TearDown() override {
        destroy_windows();
        marev::set_prompts(nullptr);
        marev::set_clock(nullptr);
        remove_settings();
    }

    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            F_Main->Timer1Timer();
    }

    marev::fake_clock clock{1'700'000'000};
    marev::fake_prompts prompts;
    temp_dir no_ports;
};

// The windows with an instrument on COM7, played by the test.
class instrument_test : public windows_test {
protected:
    void SetUp() override {
        windows_test::SetUp();
        create_windows();
        F_Main->UD_Serial->setValue(inst.port());
    }

    void connect() { F_Main->A_Connect->trigger(); }

    // Connected, answered and in step with the stream: a bare line end is
    // the first thing the instrument sends, so every later line is taken at
    // its own newline.
    void connect_and_sync() {
        connect();
        inst.send("\r\n");
        ticks(1);
        ASSERT_EQ(F_Main->link_state, TF_Main::Identifying);
    }

    // The instrument sends one line; a second passes; one fast tick runs.
    void show(const std::string& line) {
        inst.send(line + "\n");
        clock.advance(1);
        ticks(1);
    }

    fake_instrument inst{7};
};
