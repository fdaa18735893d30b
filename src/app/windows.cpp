#include "app/windows.h"

#include "app/main_window.h"
#include "app/options_window.h"
#include "calibration/calibration_window.h"
#include "schedule/schedule_window.h"
#include "terminal/terminal_window.h"

TF_Main* F_Main = nullptr;
TF_Calibration* F_Calibration = nullptr;
TF_Terminal* F_Terminal = nullptr;
TF_Schedule* F_Schedule = nullptr;
TF_Options* F_Options = nullptr;

void create_windows() {
    try {
        F_Main = new TF_Main;
        // The secondary windows belong to the main window, so they stay in
        // front of it and the program has one taskbar entry.
        F_Calibration = new TF_Calibration(F_Main);
        F_Terminal = new TF_Terminal(F_Main);
        F_Schedule = new TF_Schedule(F_Main);
        F_Options = new TF_Options(F_Main);
    } catch (...) {
        destroy_windows();
        throw;
    }
}

void destroy_windows() {
    delete F_Options;
    F_Options = nullptr;
    delete F_Schedule;
    F_Schedule = nullptr;
    delete F_Terminal;
    F_Terminal = nullptr;
    delete F_Calibration;
    F_Calibration = nullptr;
    delete F_Main;
    F_Main = nullptr;
}
