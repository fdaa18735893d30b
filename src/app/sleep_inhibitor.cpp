#include "app/sleep_inhibitor.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#endif

namespace {

#ifdef _WIN32

class system_inhibitor final : public sleep_inhibitor {
public:
    bool hold(QString& why) override {
        if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) {
            why = QStringLiteral("SetThreadExecutionState failed");
            return false;
        }
        return true;
    }
    void release() override { SetThreadExecutionState(ES_CONTINUOUS); }
};

#else

class system_inhibitor final : public sleep_inhibitor {
public:
    bool hold(QString& why) override {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected()) {
            why = QStringLiteral("no system bus");
            return false;
        }
        const QString service = QStringLiteral("org.freedesktop.login1");
        if (!bus.interface() || !bus.interface()->isServiceRegistered(service)) {
            why = QStringLiteral("no login manager on the system bus");
            return false;
        }
        QDBusInterface manager(service, QStringLiteral("/org/freedesktop/login1"),
                               QStringLiteral("org.freedesktop.login1.Manager"), bus);
        // Asked from the one-second tick: a login manager that does not
        // answer must not hold the clocks for long.
        manager.setTimeout(2000);
        const QDBusReply<QDBusUnixFileDescriptor> reply = manager.call(
            QStringLiteral("Inhibit"), QStringLiteral("sleep:idle"), QStringLiteral("Marev"),
            QStringLiteral("Recording from the instrument"), QStringLiteral("block"));
        if (!reply.isValid()) {
            why = reply.error().message();
            return false;
        }
        lock_ = reply.value();
        return true;
    }
    // Closing the descriptor gives the lock back.
    void release() override { lock_ = QDBusUnixFileDescriptor(); }

private:
    QDBusUnixFileDescriptor lock_;
};

#endif

} // namespace

std::unique_ptr<sleep_inhibitor> make_system_inhibitor() {
    return std::make_unique<system_inhibitor>();
}
