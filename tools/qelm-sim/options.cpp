#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

struct option_spec {
    const char* name;
    const char* arg; // nullptr for a flag
    const char* help;
    std::function<void(options&, const std::string&)> set;
};

long long whole(const std::string& name, const std::string& text, long long lo, long long hi) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < lo || v > hi)
        throw usage_error(name + " needs a whole number from " + std::to_string(lo) + " to " +
                          std::to_string(hi) + ", not \"" + text + "\"");
    return v;
}

const std::vector<option_spec>& specs() {
    static const std::vector<option_spec> table = {
        {"--port", "N", "port number: the link COM<N> is made in the port folder (default 2)",
         [](options& o, const std::string& v) { o.port = int(whole("--port", v, 1, 9999)); }},
        {"--port-folder", "DIR",
         "folder of the COM links (default $XDG_CONFIG_HOME/Quorvex/ports, else "
         "~/.config/Quorvex/ports)",
         [](options& o, const std::string& v) {
             if (v.empty())
                 throw usage_error("--port-folder needs a folder");
             o.port_folder = v;
         }},
        {"--serial", "S", "serial number in every line (default 7; 0 is never identified)",
         [](options& o, const std::string& v) {
             o.serial = int(whole("--serial", v, 0, 2147483647));
         }},
        {"--rate", "R", "lines per second, fractions allowed (default 1, at most 1000)",
         [](options& o, const std::string& v) {
             errno = 0;
             char* end = nullptr;
             double r = std::strtod(v.c_str(), &end);
             if (v.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(r) || r <= 0 ||
                 r > 1000)
                 throw usage_error("--rate needs a number above 0 and at most 1000, not \"" + v +
                                   "\"");
             o.rate = r;
         }},
        {"--autostart", nullptr,
         "send without waiting for 'P', from when a reader first opens the device",
         [](options& o, const std::string&) { o.autostart = true; }},
        {"--lines", "N", "exit after N lines, once the reader has taken them (at most 10 s later)",
         [](options& o, const std::string& v) { o.lines = whole("--lines", v, 0, 1LL << 62); }},
        {"--seed", "S", "seed of the random numbers (default: a fresh one each run)",
         [](options& o, const std::string& v) {
             o.seed = std::uint64_t(whole("--seed", v, 0, 1LL << 62));
         }},
        {"--log", "FILE", "log every write and every byte received to FILE (format below)",
         [](options& o, const std::string& v) {
             if (v.empty())
                 throw usage_error("--log needs a file name");
             o.log_path = v;
         }},
        {"--replay", "FILE",
         "send the lines of a record file (raw or time-stamped) instead of generated ones",
         [](options& o, const std::string& v) {
             if (v.empty())
                 throw usage_error("--replay needs a file name");
             o.replay_path = v;
         }},
        {"--loop", nullptr, "with --replay: start again at the first line after the last",
         [](options& o, const std::string&) { o.loop = true; }},
        {"--bad-lines", "K", "every K-th line is a bad one (four kinds in turn)",
         [](options& o, const std::string& v) {
             o.bad_every = whole("--bad-lines", v, 1, 1LL << 62);
         }},
        {"--garbage", "K", "1 to 32 random bytes (never a line feed) before every K-th line",
         [](options& o, const std::string& v) {
             o.garbage_every = whole("--garbage", v, 1, 1LL << 62);
         }},
        {"--burst", "K", "hold the lines of K ticks and send them in one write",
         [](options& o, const std::string& v) { o.burst = whole("--burst", v, 1, 1000000); }},
        {"--long-line", "K", "every K-th line is 10,000 bytes long (counts repeated)",
         [](options& o, const std::string& v) {
             o.long_every = whole("--long-line", v, 1, 1LL << 62);
         }},
        {"--zero-serial", "N", "the first N lines carry serial number 0",
         [](options& o, const std::string& v) {
             o.zero_serial = whole("--zero-serial", v, 0, 1LL << 62);
         }},
        {"--silent", "N", "fall silent after N lines (0: never answer), still reading",
         [](options& o, const std::string& v) {
             o.silent_after = whole("--silent", v, 0, 1LL << 62);
         }},
        {"--vanish", "N", "after N lines send half a line, then close the pty and exit",
         [](options& o, const std::string& v) {
             o.vanish_after = whole("--vanish", v, 0, 1LL << 62);
         }},
        {"--return-after", "S",
         "with --vanish: S seconds later (fractions allowed) link a new pty and send on",
         [](options& o, const std::string& v) {
             errno = 0;
             char* end = nullptr;
             double s = std::strtod(v.c_str(), &end);
             if (v.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(s) || s < 0 ||
                 s > 86400)
                 throw usage_error("--return-after needs seconds from 0 to 86400, not \"" + v +
                                   "\"");
             o.return_after = s;
         }},
        {"--help", nullptr, "show this text",
         [](options& o, const std::string&) { o.help = true; }},
    };
    return table;
}

} // namespace

options parse_options(int argc, char** argv) {
    options o;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        std::string value;
        bool has_value = false;
        if (auto eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = word.substr(eq + 1);
            word.resize(eq);
            has_value = true;
        }
        const option_spec* spec = nullptr;
        for (const auto& s : specs())
            if (word == s.name)
                spec = &s;
        if (!spec)
            throw usage_error("unknown option \"" + word + "\" (see --help)");
        if (spec->arg && !has_value) {
            if (i + 1 >= argc)
                throw usage_error(word + " needs a value " + spec->arg);
            value = argv[++i];
        } else if (!spec->arg && has_value) {
            throw usage_error(word + " takes no value");
        }
        spec->set(o, value);
    }
    if (o.loop && o.replay_path.empty())
        throw usage_error("--loop goes with --replay");
    if (o.return_after >= 0 && o.vanish_after < 0)
        throw usage_error("--return-after goes with --vanish");
    return o;
}

std::string help_text() {
    std::string t =
        "Usage: qelm-sim [options]\n"
        "Plays the QELM instrument on a pseudo-terminal and links COM<N> in the port\n"
        "folder to it. Prints one line, \"qelm-sim: COM<N> is <device> (link <path>)\", once\n"
        "the port is ready; removes the link when it ends (also on SIGINT, SIGTERM, SIGHUP).\n"
        "Once it has received 'P' it sends one data line per tick, ended by CR LF.\n"
        "Commands: 's'/'g' pump off/on, 'i'/'o' PMT off/on, 'L' 'M' '1'|'2'|'3' CR selects\n"
        "a high-voltage step; other bytes are ignored. Away after --vanish with\n"
        "--return-after, it counts on but sends nothing, then prints its line again for\n"
        "the new device.\n\nOptions:\n";
    for (const auto& s : specs()) {
        std::string left = std::string("  ") + s.name + (s.arg ? std::string(" ") + s.arg : "");
        if (left.size() < 22)
            left.resize(22, ' ');
        else
            left += ' ';
        t += left + s.help + "\n";
    }
    t += "\nLog (--log): one entry per text line, written and flushed as it happens:\n"
         "  TX <t> <bytes>   bytes written to the pty in one write (usually one line)\n"
         "  RX <t> <byte>    one byte received\n"
         "  OPEN <t>, CLOSE <t>   another process opened or closed the device (Linux)\n"
         "  VANISH <t>, RETURN <t>   --return-after: the pty closed; a new one linked\n"
         "<t> is seconds since the simulator started, with 6 decimals. Bytes are escaped:\n"
         "\\\\ for a backslash, \\r, \\n, and \\xHH (two lower-case hex digits) for any other\n"
         "byte below 0x20 or from 0x7f on. Readers should skip kinds they do not know.\n"
         "\nExit status: 0 at the end of --lines, --vanish (without --return-after) or on a\n"
         "signal; 1 on an error; 2 on a bad command line.\n";
    return t;
}

std::string default_port_folder() {
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
        base = x;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/Quorvex/ports";
}
