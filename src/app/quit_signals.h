#pragma once

// Ends the event loop when the system asks the program to stop (SIGTERM at
// shutdown or logout, SIGINT, SIGHUP), so that the windows close the normal
// way and an open record file gets every line taken and is closed. Call once,
// after the application object exists. Does nothing where there are no such
// signals.
void quit_on_termination_signals();
