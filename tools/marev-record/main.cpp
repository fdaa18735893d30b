// marev-record: the program's recorder without a display, for computers that
// record for weeks with nobody at a screen. Status and events go to standard
// error; standard output stays empty.

#include "options.h"
#include "recorder.h"

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace {

volatile std::sig_atomic_t stop_requested = 0;

#ifdef _WIN32
BOOL WINAPI on_console_event(DWORD type) {
    stop_requested = 1;
    // Closing the console ends the process when this returns: give the loop
    // the time to write the last lines.
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        ::Sleep(3000);
    return TRUE;
}

void install_signals() {
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}
#else
void on_signal(int) {
    stop_requested = 1;
}

void install_signals() {
    // Without SA_RESTART, so that a signal ends the wait in poll() at once.
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    // A port or a terminal that goes away must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
}
#endif

} // namespace

int main(int argc, char** argv) {
    record_options options;
    try {
        options = parse_record_options(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const usage_error& e) {
        std::cerr << "marev-record: " << e.what() << "\nUsage:\n" << usage_text;
        return 2;
    }
    if (options.help) {
        std::cout << "Usage:\n" << help_text();
        return 0;
    }
    install_signals();
    recorder r(options, std::cerr);
    return r.run(stop_requested);
}
