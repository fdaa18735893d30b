#include "app/application.h"

#include "app/prompts.h"
#include "link/link_error.h"

#include <exception>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

application::application(int& argc, char** argv) : QApplication(argc, argv) {
#if defined(__GLIBC__)
    // The program runs for weeks, and its large buffers (the chart's points and their
    // summaries) grow by moving to larger ones. By default the C library raises its
    // threshold for giving memory straight from the system to the size of the first
    // such buffer freed, so the later ones come from the heap and, once freed, stay
    // resident as holes: a week left 30 MB of them. A fixed threshold gives every
    // buffer of 1 MB or more back to the system when it is freed.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

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
