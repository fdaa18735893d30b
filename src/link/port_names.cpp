#include "link/port_names.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

std::string default_folder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
#ifndef _WIN32
        const passwd* pw = ::getpwuid(::getuid());
        base = std::string(pw && pw->pw_dir ? pw->pw_dir : "") + "/.config";
#else
        base = ".config";
#endif
    }
    return base + "/Quorvex/ports";
}

std::string& folder() {
    static std::string f = default_folder();
    return f;
}

// The n of "COM<n>", or 0.
int com_number(const std::string& name) {
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0)
        return 0;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > 100000)
            return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

} // namespace

void set_port_folder(const std::string& f) {
    folder() = f;
}

const std::string& port_folder() {
    return folder();
}

std::string port_device(const std::string& name) {
    const int n = com_number(name);
    if (n <= 0)
        return name;
#ifdef _WIN32
    return "\\\\.\\" + name;
#else
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path link = fs::path(folder()) / name;
    if (fs::is_symlink(link, ec)) {
        // Show and open the device itself; a dangling link still names the
        // link, so the open fails with "no such device".
        const fs::path target = fs::canonical(link, ec);
        return ec ? link.string() : target.string();
    }
    if (fs::exists(link, ec))
        return link.string();
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}
