#include "app/quit_signals.h"

#ifndef _WIN32

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipe_fds[2] = {-1, -1};

// Only async-signal-safe work here: wake the event loop through the pipe.
void on_signal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(pipe_fds[1], &byte, 1);
}

} // namespace

void quit_on_termination_signals() {
    if (pipe_fds[0] >= 0 || ::pipe(pipe_fds) != 0)
        return;
    for (int fd : pipe_fds) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    auto* notifier = new QSocketNotifier(pipe_fds[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char buf[16];
        while (::read(pipe_fds[0], buf, sizeof buf) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

#else

void quit_on_termination_signals() {}

#endif
