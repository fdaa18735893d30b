#include "link/port_names.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
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

#ifdef _WIN32

std::vector<std::string> serial_devices(const std::string&) {
    std::vector<std::string> out;
    char target[512];
    for (int n = 1; n <= 256; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0)
            out.push_back(name);
    }
    return out;
}

int linked_port(const std::string& device) {
    return com_number(device);
}

std::string link_port(int, const std::string&) {
    return "COM ports are named by the system";
}

#else

namespace {

bool openable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Names in a folder that start with prefix, in natural order (ttyS2 before
// ttyS10).
std::vector<std::string> names_with(const std::filesystem::path& dir, const std::string& prefix) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0)
            out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return out;
}

} // namespace

std::vector<std::string> serial_devices(const std::string& dev_root) {
    namespace fs = std::filesystem;
    std::vector<std::string> out, covered;
    std::error_code ec;
    for (const std::string& s : names_with(fs::path(dev_root) / "serial" / "by-id", "")) {
        const fs::path target = fs::canonical(s, ec);
        if (ec)
            continue;
        out.push_back(s);
        covered.push_back(target.string());
    }
    for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        for (const std::string& d : names_with(dev_root, prefix)) {
            const fs::path real = fs::canonical(d, ec);
            if (ec || std::find(covered.begin(), covered.end(), real.string()) != covered.end())
                continue;
            if (openable(d))
                out.push_back(d);
        }
    }
    return out;
}

int linked_port(const std::string& device) {
    namespace fs = std::filesystem;
    std::error_code ec;
    int best = 0;
    for (const auto& e : fs::directory_iterator(folder(), ec)) {
        const int n = com_number(e.path().filename().string());
        std::error_code same_ec;
        if (n > 0 && (best == 0 || n < best) && fs::equivalent(e.path(), device, same_ec))
            best = n;
    }
    return best;
}

std::string link_port(int n, const std::string& device) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder(), ec);
    const fs::path link = fs::path(folder()) / ("COM" + std::to_string(n));
    // Only a link is replaced: a file of that name is the user's own.
    if (fs::is_symlink(link, ec))
        fs::remove(link, ec);
    fs::create_symlink(device, link, ec);
    return ec ? ec.message() : std::string();
}

#endif

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
