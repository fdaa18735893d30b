#include "app/application.h"
#include "app/main_window.h"
#include "app/quit_signals.h"
#include "app/record_view.h"
#include "app/windows.h"

#include <QCoreApplication>
#include <QEvent>

#include <clocale>
#include <cstdio>
#include <exception>

namespace {

// With MAREV_REPORT_SHOWN set, one line on standard error once the main window
// has been painted for the first time, so start-up can be timed from outside.
class first_paint_report : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            std::fputs("marev: main window shown\n", stderr);
            std::fflush(stderr);
            watched->removeEventFilter(this);
        }
        return false;
    }
};

} // namespace

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
        first_paint_report report;
        if (qEnvironmentVariableIsSet("MAREV_REPORT_SHOWN"))
            F_Main->installEventFilter(&report);
        F_Main->show();
        // Record files named on the command line (or by a file manager) open
        // in windows of their own.
        for (const QString& path : QCoreApplication::arguments().mid(1))
            open_record_view(path);
        status = app.exec();
    } catch (...) {
        // An error while the windows were made, or one that escaped the loop:
        // shown, and the program ends normally.
        show_uncaught(std::current_exception());
        // The box is shown from the event loop, which is not turning here.
        QCoreApplication::processEvents();
        status = 0;
    }
    destroy_windows();
    return status;
}
