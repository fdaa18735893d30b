// Costs of the instrument link over long runs. Prints `name: value unit` lines.
#include "link/qelm_reader.h"

#include "fake_instrument.h"

#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <random>
#include <string>
#include <vector>

namespace {

std::size_t heap_in_use() {
    const auto m = mallinfo2();
    return m.uordblks + m.hblkhd; // large blocks are mapped, not in the arena
}

// A day's worth of lines as the instrument sends them, varied like real data.
std::vector<std::string> make_lines(std::size_t n) {
    std::mt19937 rng(1);
    std::poisson_distribution<int> counts(40);
    std::vector<std::string> lines;
    lines.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::string l = "QELM7," + std::to_string(i) + ",1.25e-05,3012.5,1500,4.98,1200,0.552,0,0,";
        for (int k = 0; k < 60; ++k)
            l += std::to_string(counts(rng)) + (k < 59 ? "," : "\r\n");
        lines.push_back(std::move(l));
    }
    return lines;
}

} // namespace

int main() {
    constexpr std::size_t day = 86'400;
    const auto lines = make_lines(day);
    qelm_reader::set_synced(false);

    const std::size_t before = heap_in_use();
    auto reader = std::make_unique<qelm_reader>();
    reader->receive("\r\n");
    const auto t0 = std::chrono::steady_clock::now();
    for (const auto& l : lines)
        reader->receive(l);
    const auto t1 = std::chrono::steady_clock::now();
    const std::size_t held = heap_in_use() - before;

    const double records = double(reader->record_count());
    std::printf("reader_bytes_per_record: %.0f bytes\n", held / records);
    std::printf("reader_line_step_us_per_record: %.2f us\n",
                std::chrono::duration<double, std::micro>(t1 - t0).count() / records);
    return reader->record_count() == day ? 0 : 1;
}
