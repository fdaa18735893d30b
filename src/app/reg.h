#pragma once

#include <QString>

#include <cstdint>

// The settings kept between runs: on Windows under the registry key
// HKEY_LOCAL_MACHINE\SOFTWARE\Quorvex\Marev01, elsewhere in the configuration
// file Quorvex/Marev01.conf of the user's configuration folder. The key is
// opened for each load() or save() and closed again; nothing is held open.
class reg {
public:
    reg() = default;

    // Fills the record from the store, keeping or setting defaults where
    // values are missing or of another type.
    void load();
    // Writes all the values. Throws std::runtime_error
    // "Unable to write to registry!" when the store cannot be written; the
    // values stay in memory.
    void save() const;

    // The folder for scheduled recordings when none is stored: "C:\" on
    // Windows, the home folder elsewhere (where "C:\" names no folder).
    static QString default_savedir();

    std::int16_t commport = 2; // the COM port's number
    bool include_time = false; // record files carry a time stamp on every line
    QString savedir;           // folder of scheduled record files
    QString calfile;           // path of the calibration file
    bool reconnect = true;     // a lost instrument is waited for and connected again
};
