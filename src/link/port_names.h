#pragma once

#include <string>
#include <vector>

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

// The serial devices present, for choosing the one to link: under dev_root
// (/dev), the stable names in serial/by-id, then each ttyUSB*, ttyACM* and
// ttyS* that no stable name stands for and that can be opened. On Windows the
// COM ports the system knows ("COM3").
std::vector<std::string> serial_devices(const std::string& dev_root = "/dev");
// The lowest COM number whose link in the port folder leads to the device
// (the same device file, whatever the path), or 0.
int linked_port(const std::string& device);
// Links COM<n> in the port folder to the device, replacing a link of that
// name, and making the folder. The system's reason when it fails, else empty.
std::string link_port(int n, const std::string& device);
