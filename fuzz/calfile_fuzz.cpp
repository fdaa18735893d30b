// Arbitrary bytes as a calibration file, fed in arbitrary pieces: the three
// histories stay of equal length, the pieces do not matter, every line gives
// exactly one entry or one skip, each entry is what its line's scan gives, and
// what is written back reads back the same.
#include "calibration/calibration_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "calibration file invariant broken: %s\n", what);
        std::abort();
    }
}

bool same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool same(const calibration_history& a, const calibration_history& b) {
    if (a.size() != b.size() || a.skipped != b.skipped)
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!same(a.hv1[i], b.hv1[i]) || !same(a.hv2[i], b.hv2[i]) || !same(a.hv3[i], b.hv3[i]))
            return false;
    return true;
}

// The plain reading: split at every line feed, keep the first part of a long
// line, scan.
calibration_history reference(std::string_view bytes) {
    calibration_history h;
    while (!bytes.empty()) {
        const std::size_t nl = bytes.find('\n');
        const std::string_view line = bytes.substr(0, nl);
        const bool cut = line.size() > calibration_line_limit;
        if (const auto v = scan_calibration_line(line.substr(0, calibration_line_limit), cut))
            h.add(*v);
        else
            ++h.skipped;
        if (nl == std::string_view::npos)
            break;
        bytes.remove_prefix(nl + 1);
    }
    return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    // The first byte chooses how the bytes are cut into pieces; with its top
    // bit set the input is repeated, so long lines and many lines come up.
    const std::uint8_t mode = data[0];
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    if (mode & 0x80) {
        const std::string once = bytes;
        while (bytes.size() < 3 * calibration_line_limit && !once.empty())
            bytes += once;
    }

    const calibration_history whole = read_calibrations(bytes);
    check(whole.hv1.size() == whole.hv2.size() && whole.hv1.size() == whole.hv3.size(),
          "histories of equal length");
    const std::size_t lines = std::count(bytes.begin(), bytes.end(), '\n') +
                              (bytes.empty() || bytes.back() == '\n' ? 0 : 1);
    check(whole.size() + whole.skipped == lines, "one entry or one skip per line");
    check(same(whole, reference(bytes)), "agrees with the plain reading");

    calibration_reader pieces;
    std::size_t at = 0;
    std::size_t piece = 1 + (mode & 0x7f);
    while (at < bytes.size()) {
        const std::size_t n = std::min(piece, bytes.size() - at);
        pieces.feed(std::string_view(bytes).substr(at, n));
        at += n;
        piece = 1 + (piece * 31 + n) % 8209;
    }
    check(same(pieces.finish(), whole), "pieces give the same history");

    // Written back with %g, the values read back as written.
    std::string file;
    for (std::size_t i = 0; i < whole.size() && i < 64; ++i)
        file += calibration_line({whole.hv1[i], whole.hv2[i], whole.hv3[i]},
                                 "Tue Mar 04 09:05:03 2008\n");
    const calibration_history again = read_calibrations(file);
    check(again.size() == std::min<std::size_t>(whole.size(), 64) && again.skipped == 0,
          "every written line reads back");
    for (std::size_t i = 0; i < again.size(); ++i)
        check(format_g(again.hv1[i]) == format_g(whole.hv1[i]) &&
                  format_g(again.hv2[i]) == format_g(whole.hv2[i]) &&
                  format_g(again.hv3[i]) == format_g(whole.hv3[i]),
              "written values read back as written");
    return 0;
}
