#pragma once

// The calibration file: one line per saved calibration, the values of the
// three high-voltage steps and the local time of the save, tab-separated,
//
//   12345.7<TAB>98.25<TAB>1.5e+06<TAB>Tue Mar 04 09:05:03 2008<CR><LF>
//
// written with %g (six significant digits). Reading is tolerant: a line feed
// alone ends a line too, any white space separates the numbers, exponent form
// is fine, and whatever follows the third number is ignored. A line that does
// not start with three numbers holds no calibration and is skipped, so the
// three histories always stay of equal length. No Qt here: the file is tested
// and fuzzed on its own.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The values of the three steps of one calibration.
struct calibration_values {
    double hv1 = 0;
    double hv2 = 0;
    double hv3 = 0;
};

// The histories of the three steps, in file order; always of equal length.
struct calibration_history {
    std::vector<double> hv1, hv2, hv3;
    // Lines that held no calibration (empty, text, fewer than three numbers).
    std::size_t skipped = 0;

    std::size_t size() const { return hv1.size(); }
    bool empty() const { return hv1.empty(); }
    void add(const calibration_values& v);
};

// The characters of a line that are scanned; the rest of a longer line is
// skipped.
inline constexpr std::size_t calibration_line_limit = 8191;

// The three numbers at the start of a line, read as "%lf %lf %lf" reads them
// in the C locale whatever the program's locale; nothing when they are not
// all there. A NUL ends the text. cut says the line went on beyond the text:
// then a third number that reaches the end of the text may be incomplete, and
// the line is not taken.
std::optional<calibration_values> scan_calibration_line(std::string_view text, bool cut = false);

// Cuts a byte stream, fed in pieces of any size, into lines and scans each.
// Holds at most calibration_line_limit bytes of a line at a time.
class calibration_reader {
public:
    void feed(std::string_view bytes);
    // The history so far, including a last line without a line end.
    calibration_history finish();

private:
    void end_line();

    std::string line_;
    bool cut_ = false;
    calibration_history history_;
};

// The history that a file of these bytes holds.
calibration_history read_calibrations(std::string_view bytes);

// Reads the file at path. Nothing when it cannot be opened or read, or is no
// regular file (a folder, a device that never ends); error then says why.
std::optional<calibration_history> load_calibration_file(const std::filesystem::path& path,
                                                         std::string* error = nullptr);

// v as printf's "%g" prints it in the C locale.
std::string format_g(double v);

// One line of the file: the three values with %g, tabs between and after,
// then the clock text with its closing line feed turned into CR LF.
std::string calibration_line(const calibration_values& v, std::string_view clock_text);

enum class calibration_save { append, replace };

struct calibration_save_result {
    bool opened = false;  // the file could be opened (made when missing)
    bool written = false; // and the line reached it, closed without error
    std::string error;    // the system's reason when not
};

// Writes one line to the file: at its end (append), or as its whole content
// (replace). Appending to a file whose last line has no line end first ends
// that line, so the two calibrations are not run together. A write that fails
// leaves the file at its size from before (empty, when replacing).
calibration_save_result save_calibration_line(const std::filesystem::path& path,
                                              std::string_view line, calibration_save mode);
