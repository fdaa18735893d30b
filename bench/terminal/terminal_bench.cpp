// The raw output window after a day at one line a second: the cost of one more line (put
// in, flushed as the fast tick does, and painted), and the heap it holds per line taken,
// beside a plain text box that keeps every line. Prints `name: value unit`.

#include "terminal/terminal_window.h"

#include <QApplication>
#include <QPlainTextEdit>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <random>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;
constexpr int one_day = 86400;

std::size_t heap_in_use() {
    const auto m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// Data lines as the instrument sends them (without the newline): Poisson counts.
std::vector<std::string> make_lines(int n) {
    std::mt19937 rng(1);
    std::poisson_distribution<int> counts(40);
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        std::string l = "QELM7," + std::to_string(i) + ",1.25e-05,3012.5,1500,4.98,1200,0.552,0,0";
        for (int k = 0; k < 60; ++k) {
            l += ',';
            l += std::to_string(counts(rng));
        }
        l += '\r';
        lines.push_back(std::move(l));
    }
    return lines;
}

struct figures {
    double append_us;
    double bytes_per_line;
};

// append(line, flush_now) puts one line in; the day goes in 100 lines per flush (the
// memory it holds is the same), the timed lines one per flush, each painted.
figures measure(QWidget& window, const std::vector<std::string>& lines,
                const std::function<void(const std::string&, bool)>& append) {
    window.resize(823, 641);
    window.show();
    QApplication::processEvents();
    const std::size_t before = heap_in_use();
    for (int i = 0; i < one_day; ++i)
        append(lines[static_cast<std::size_t>(i)], i % 100 == 99);
    QApplication::processEvents();
    const double bytes = double(heap_in_use() - before) / one_day;

    std::vector<double> times;
    for (std::size_t i = one_day; i < lines.size(); ++i) {
        const auto t0 = clock_type::now();
        append(lines[i], true);
        QApplication::processEvents();
        times.push_back(std::chrono::duration<double, std::micro>(clock_type::now() - t0).count());
    }
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return {times[times.size() / 2], bytes};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::vector<std::string> lines = make_lines(one_day + 500);

    figures ours{}, plain{};
    {
        TF_Terminal terminal;
        ours = measure(terminal, lines, [&](const std::string& line, bool flush) {
            terminal.add_line(line);
            if (flush)
                terminal.flush();
        });
    }
    {
        // What a developer would write first: every line appended, nothing dropped.
        QPlainTextEdit edit;
        edit.setReadOnly(true);
        edit.setLineWrapMode(QPlainTextEdit::NoWrap);
        edit.setUndoRedoEnabled(false);
        QString pending;
        plain = measure(edit, lines, [&](const std::string& line, bool flush) {
            if (!pending.isEmpty())
                pending += QChar('\n');
            pending += QString::fromLatin1(line.data(), qsizetype(line.size()) - 1);
            if (flush) {
                edit.appendPlainText(pending);
                pending.clear();
            }
        });
    }
    std::printf("terminal_append_us: %.1f us\n", ours.append_us);
    std::printf("plaintextedit_append_us: %.1f us\n", plain.append_us);
    std::printf("terminal_bytes_per_line: %.0f bytes\n", ours.bytes_per_line);
    std::printf("plaintextedit_bytes_per_line: %.0f bytes\n", plain.bytes_per_line);
    return 0;
}
