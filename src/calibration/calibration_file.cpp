#include "calibration/calibration_file.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <locale.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif
#ifdef __APPLE__
#include <xlocale.h>
#endif

namespace {

// strtod in the C locale: the file always has a decimal point, whatever
// locale the program runs in.
double strtod_c(const char* text, char** end) {
#ifdef _WIN32
    // Windows' own strtod reads no hexadecimal; the C99 one that MinGW brings
    // does, and a hexadecimal number has no decimal point for a locale to change.
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    if (*p == '+' || *p == '-')
        ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && !std::strchr(p, '.'))
        return std::strtod(text, end);
    static const _locale_t c_locale = _create_locale(LC_NUMERIC, "C");
    return _strtod_l(text, end, c_locale);
#else
    static const locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    return strtod_l(text, end, c_locale);
#endif
}

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    const std::wstring wmode(mode, mode + std::strlen(mode));
    return _wfopen(path.c_str(), wmode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

std::string system_reason(int err, const std::filesystem::path& path) {
    return std::string(std::strerror(err)) + ": " + path.string();
}

} // namespace

void calibration_history::add(const calibration_values& v) {
    hv1.push_back(v.hv1);
    hv2.push_back(v.hv2);
    hv3.push_back(v.hv3);
}

std::optional<calibration_values> scan_calibration_line(std::string_view text, bool cut) {
    // strtod needs a terminated text; a NUL in the line ends it there, as it
    // ends a C string.
    const std::string line(text.substr(0, text.find('\0')));
    const char* p = line.c_str();
    double v[3];
    for (double& value : v) {
        char* end = nullptr;
        value = strtod_c(p, &end);
        if (end == p)
            return std::nullopt;
        p = end;
    }
    if (cut && p == line.c_str() + line.size())
        return std::nullopt;
    return calibration_values{v[0], v[1], v[2]};
}

void calibration_reader::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t nl = bytes.find('\n');
        const std::string_view part = bytes.substr(0, nl);
        const std::size_t room = calibration_line_limit - line_.size();
        line_.append(part.substr(0, room));
        if (part.size() > room)
            cut_ = true;
        if (nl == std::string_view::npos)
            return;
        end_line();
        bytes.remove_prefix(nl + 1);
    }
}

void calibration_reader::end_line() {
    if (const auto v = scan_calibration_line(line_, cut_))
        history_.add(*v);
    else
        ++history_.skipped;
    line_.clear();
    cut_ = false;
}

calibration_history calibration_reader::finish() {
    if (!line_.empty())
        end_line();
    calibration_history h = std::move(history_);
    history_ = {};
    return h;
}

calibration_history read_calibrations(std::string_view bytes) {
    calibration_reader r;
    r.feed(bytes);
    return r.finish();
}

std::optional<calibration_history> load_calibration_file(const std::filesystem::path& path,
                                                         std::string* error) {
    // A folder, a pipe or a device (one that never ends, like /dev/zero) is
    // no calibration file.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!ec && status.type() != std::filesystem::file_type::regular) {
        if (error)
            *error = "Not a regular file: " + path.string();
        return std::nullopt;
    }
    file_ptr f(open_file(path, "rb"));
    if (!f) {
        if (error)
            *error = system_reason(errno, path);
        return std::nullopt;
    }
#ifdef _WIN32
    // Devices (NUL, CON, COM1 ...) have no status to ask first.
    if (::GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f.get())))) !=
        FILE_TYPE_DISK) {
        if (error)
            *error = "Not a regular file: " + path.string();
        return std::nullopt;
    }
#endif
    calibration_reader r;
    char buf[65536];
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, f.get());
        r.feed(std::string_view(buf, n));
        if (n < sizeof buf)
            break;
    }
    if (std::ferror(f.get())) {
        // A failing disk: half a history would pass for all of it.
        if (error)
            *error = system_reason(errno, path);
        return std::nullopt;
    }
    return r.finish();
}

std::string format_g(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, r.ptr);
}

std::string calibration_line(const calibration_values& v, std::string_view clock_text) {
    std::string line = format_g(v.hv1) + '\t' + format_g(v.hv2) + '\t' + format_g(v.hv3) + '\t';
    if (!clock_text.empty() && clock_text.back() == '\n')
        clock_text.remove_suffix(1);
    line += clock_text;
    line += "\r\n";
    return line;
}

calibration_save_result save_calibration_line(const std::filesystem::path& path,
                                              std::string_view line, calibration_save mode) {
    calibration_save_result result;
    std::FILE* raw = open_file(path, mode == calibration_save::append ? "a+b" : "wb");
    if (!raw) {
        result.error = system_reason(errno, path);
        return result;
    }
    result.opened = true;
    std::string text;
    // Where the file is cut back to when the write fails; unknown (-1): left.
    long size_before = mode == calibration_save::replace ? 0 : -1;
    if (mode == calibration_save::append && std::fseek(raw, 0, SEEK_END) == 0) {
        size_before = std::ftell(raw);
        if (size_before > 0 && std::fseek(raw, -1, SEEK_END) == 0) {
            const int last = std::fgetc(raw);
            if (last != EOF && last != '\n')
                text = "\r\n";
            // Switching from reading to writing needs a positioning call;
            // the write goes to the end all the same ("a" mode).
            std::fseek(raw, 0, SEEK_END);
        }
    }
    text += line;
    bool ok = std::fwrite(text.data(), 1, text.size(), raw) == text.size();
    ok = std::fflush(raw) == 0 && ok;
    int err = ok ? 0 : errno;
    if (std::fclose(raw) != 0 && ok) {
        ok = false;
        err = errno;
    }
    result.written = ok;
    if (!ok) {
        result.error = system_reason(err, path);
        // Part of the line may have reached the file (a full disk takes what
        // fits): cut it off again, so no torn line reads as a calibration.
        if (size_before >= 0) {
            std::error_code ec;
            std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size_before), ec);
        }
    }
    return result;
}
