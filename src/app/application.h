#pragma once

#include <QApplication>

// The program's application object. Its notify() is the top-level handler: an
// exception that escapes a user action or a timer tick ends that action only;
// it is shown in an error box and the program goes on.
class application : public QApplication {
public:
    application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an error that no window caught, through the prompts.
void show_uncaught(const std::exception_ptr& error);
