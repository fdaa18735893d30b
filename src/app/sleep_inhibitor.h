#pragma once

#include <QString>

#include <memory>

// Keeps the computer from going to sleep while a recording runs: a sleeping
// computer reads no instrument. On Linux the login manager's inhibitor lock
// ("sleep:idle", held while its descriptor is open), on Windows the thread's
// execution state. Where neither can be had the recording runs all the same.
class sleep_inhibitor {
public:
    virtual ~sleep_inhibitor() = default;
    // Takes the lock. False, with the reason in `why`, when none can be had.
    virtual bool hold(QString& why) = 0;
    virtual void release() = 0;
};

// The system's inhibitor.
std::unique_ptr<sleep_inhibitor> make_system_inhibitor();
