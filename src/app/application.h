#pragma once

#include <QApplication>

#include <exception>

// The program's application object. Its notify() is the top-level handler: an
// exception that escapes a user action or a timer tick ends that action only;
// it is shown in an error box and the program goes on.
class application : public QApplication {
public:
    application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an error that no window caught, through the prompts, from the event
// loop once the handler that raised it has returned (marev::tell_later).
void show_uncaught(const std::exception_ptr& error);

namespace marev {

// Runs a handler where it is connected (an action, a timer, a control): what
// it throws is shown as show_uncaught() shows it, and the program goes on.
template <class F> void guarded(F&& f) {
    try {
        f();
    } catch (...) {
        show_uncaught(std::current_exception());
    }
}

} // namespace marev
