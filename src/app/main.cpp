#include "app/application.h"
#include "app/main_window.h"
#include "app/quit_signals.h"
#include "app/windows.h"

#include <clocale>
#include <exception>

int main(int argc, char** argv) {
    application app(argc, argv);
    // Qt takes the user's locale; the program's texts are printf formats with
    // a decimal point.
    std::setlocale(LC_NUMERIC, "C");
    QGuiApplication::setDesktopFileName("marev");
    quit_on_termination_signals();

    int status = 0;
    try {
        create_windows();
        F_Main->show();
        status = app.exec();
    } catch (...) {
        // An error while the windows were made, or one that escaped the loop:
        // shown, and the program ends normally.
        show_uncaught(std::current_exception());
        status = 0;
    }
    destroy_windows();
    return status;
}
