#pragma once

// The real windows shown and active, with a scratch port folder for the
// simulator and fake prompts; tests start their own simulator.

#include "app/main_window.h"
#include "app/prompts.h"
#include "app/windows.h"
#include "link/port_names.h"
#include "link/qelm_reader.h"

#include "sim_process.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>

class e2e : public ::testing::Test {
protected:
    void SetUp() override {
        marev::set_prompts(&prompts);
        qelm_reader::set_synced(false);
        set_port_folder(ports.path());
        create_windows();
        F_Main->show();
        F_Main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(F_Main));
    }
    void TearDown() override {
        destroy_windows();
        marev::set_prompts(nullptr);
    }

    // Lets the event loop run until the condition holds (at most 5 s).
    static bool within_seconds(const std::function<bool()>& condition, int seconds = 5) {
        return QTest::qWaitFor(condition, seconds * 1000);
    }

    temp_dir ports;
    std::string log = ports.file("sim.log");
    marev::fake_prompts prompts;
};
