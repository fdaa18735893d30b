#pragma once

#include <string>

// COM port names on this system. Port n ("COM<n>") opens the device that the
// link COM<n> in the port folder points to; without such a link, /dev/ttyS<n-1>.
// On Windows the name is the device itself (\\.\COM<n>).

// The port folder; by default Quorvex/ports in the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config).
void set_port_folder(const std::string& folder);
const std::string& port_folder();

// The device path that the port name opens ("COM4" -> "/dev/pts/3" when the
// folder links COM4 there, else "/dev/ttyS3"). A name that is not of the form
// COM<n> is returned unchanged.
std::string port_device(const std::string& name);
