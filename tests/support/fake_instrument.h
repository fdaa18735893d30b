#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "temp_dir.h"

// The far end of a serial line for tests: a pseudo-terminal whose slave side
// is linked as COM<port> in a temporary port folder, which it makes the
// program's port folder. The test plays the instrument on the master side.
// On Windows (under Wine) the pseudo-terminal is held by com_peer on the Linux
// side, which links it as the COM port; this class asks com_peer to play it.
class fake_instrument {
public:
    explicit fake_instrument(int port = 7);
    ~fake_instrument();
    fake_instrument(const fake_instrument&) = delete;
    fake_instrument& operator=(const fake_instrument&) = delete;

    int port() const { return port_; }
    const std::string& device() const { return device_; }
    const temp_dir& folder() const { return folder_; }

    // Sends bytes to the program, and waits until they can be read on its side.
    void send(std::string_view bytes);
    // What the program has sent so far and not yet taken here (waits briefly).
    std::string received();
    // Closes the master side: the device vanishes as a pulled adapter would.
    void vanish();
#ifdef _WIN32
    // The line format that the program set on the device, as "19200 8N1 none".
    std::string line_format();
#endif

private:
    temp_dir folder_;
    int port_;
#ifdef _WIN32
    std::string exchange(char request, std::string_view bytes = {});
    std::uintptr_t peer_; // the socket to com_peer
#else
    int master_ = -1;
    int slave_keep_ = -1; // keeps the slave side alive between the program's opens
#endif
    std::string device_;
};
