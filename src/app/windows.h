#pragma once

class TF_Main;
class TF_Calibration;
class TF_Terminal;
class TF_Schedule;
class TF_Options;

// The program's five windows. They work on each other through these.
extern TF_Main* F_Main;
extern TF_Calibration* F_Calibration;
extern TF_Terminal* F_Terminal;
extern TF_Schedule* F_Schedule;
extern TF_Options* F_Options;

// Makes the five windows in the order of the start-up, the main window first,
// all hidden. On an error the windows made so far are destroyed again.
void create_windows();
// Destroys them (the main window last) and sets the pointers to null.
void destroy_windows();
