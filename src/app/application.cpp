#include "app/application.h"

#include "app/prompts.h"
#include "link/link_error.h"

#include <exception>

application::application(int& argc, char** argv) : QApplication(argc, argv) {}

bool application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        try {
            show_uncaught(std::current_exception());
        } catch (...) {
            // Showing it failed too; the program still goes on.
        }
    }
    return false;
}

void show_uncaught(const std::exception_ptr& error) {
    const QString caption = QStringLiteral("Error");
    try {
        std::rethrow_exception(error);
    } catch (const link_error& e) {
        marev::tell_later(QString::fromStdString(e.what()), caption,
                          QString::fromStdString(e.detail()));
    } catch (const std::exception& e) {
        marev::tell_later(QString::fromStdString(e.what()), caption);
    } catch (...) {
        marev::tell_later(QStringLiteral("Unexpected error."), caption);
    }
}
