#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

// Command line of the simulated instrument.
struct options {
    int port = 2;
    std::string port_folder; // empty: default_port_folder()
    int serial = 7;
    double rate = 1.0; // lines per second
    bool autostart = false;
    long long lines = -1; // stop after this many lines; -1: never
    std::optional<std::uint64_t> seed;
    std::string log_path;
    std::string replay_path;
    bool loop = false;

    // Fault modes. An "every" value k acts on lines k, 2k, 3k ...; 0 is off.
    long long bad_every = 0;
    long long garbage_every = 0;
    long long long_every = 0;
    long long burst = 0;       // lines of this many ticks leave in one write
    long long zero_serial = 0; // the first n lines carry serial number 0
    long long silent_after = -1;
    long long vanish_after = -1;
    double return_after = -1; // seconds until a vanished instrument comes back; < 0: never

    bool help = false;
};

struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws usage_error with the message for the user.
options parse_options(int argc, char** argv);
std::string help_text();

// Quorvex/ports in $XDG_CONFIG_HOME, else in ~/.config: where the program looks.
std::string default_port_folder();

// Stored length of an over-long line: its bytes before the line feed, the
// carriage return included.
inline constexpr std::size_t long_line_length = 10000;
