// Costs of the instrument link: the parser against the sscanf reading, the
// reader's cost per record with an empty history and with 30 days held, its
// memory per record over a day, and the data sync of the record file that
// each batch pays on the user-interface thread. Prints `name: value unit` lines.
#include "link/qelm_reader.h"
#include "link/record_file.h"

#include "fake_instrument.h"
#include "sscanf_parser.h"
#include "temp_dir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

std::size_t heap_in_use() {
    const auto m = mallinfo2();
    return m.uordblks + m.hblkhd; // large blocks are mapped, not in the arena
}

// Lines as the instrument sends them: Poisson counts around a light level.
std::vector<std::string> make_lines(std::size_t n, unsigned seed = 1) {
    std::mt19937 rng(seed);
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

template <typename F> double best_ns(int repeats, F&& f) {
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto t0 = clock_type::now();
        f();
        best = std::min(best,
                        std::chrono::duration<double, std::nano>(clock_type::now() - t0).count());
    }
    return best;
}

void parser_figures() {
    auto lines = make_lines(10'000);
    for (auto& l : lines)
        l.pop_back(); // as stored: without the newline
    double sink = 0;
    int disagreements = 0;
    for (const auto& l : lines) // the same results, or the figures mean nothing
        if (!same_result(parse_data_line(l), parse_data_line_sscanf(l))) {
            ++disagreements;
            std::fprintf(stderr, "parser and sscanf disagree on: %s\n", l.c_str());
        }
    const double fast = best_ns(5, [&] {
        for (const auto& l : lines)
            sink += parse_data_line(l)->raw_counts[7];
    });
    const double ref = best_ns(3, [&] {
        for (const auto& l : lines)
            sink += parse_data_line_sscanf(l)->raw_counts[7];
    });
    std::printf("parse_ns_per_line: %.0f ns\n", fast / lines.size());
    std::printf("parse_sscanf_ns_per_line: %.0f ns\n", ref / lines.size());
    std::printf("parse_speedup_vs_sscanf: %.1f x\n", ref / fast);
    std::printf("parse_disagreements_vs_sscanf: %d lines\n", disagreements);
    if (sink < 0)
        std::fprintf(stderr, "\n");
}

// Bytes through the port, poll, line step and parse to a stored record. The
// lines go out ten at a time (what one read takes easily); only the polls are
// timed, not the wait for the pseudo-terminal to pass the bytes on.
double poll_us_per_record(qelm_reader& r, fake_instrument& inst,
                          const std::vector<std::string>& lines) {
    // The median poll: one busy moment of the machine must not move the figure.
    std::vector<double> per_record;
    for (std::size_t i = 0; i < lines.size(); i += 10) {
        std::string batch;
        for (std::size_t j = i; j < std::min(i + 10, lines.size()); ++j)
            batch += lines[j];
        inst.send(batch);
        const std::size_t before = r.record_count();
        const auto t0 = clock_type::now();
        r.poll();
        const double ns = std::chrono::duration<double, std::nano>(clock_type::now() - t0).count();
        if (r.record_count() > before)
            per_record.push_back(ns / 1000 / double(r.record_count() - before));
    }
    std::nth_element(per_record.begin(), per_record.begin() + per_record.size() / 2,
                     per_record.end());
    return per_record[per_record.size() / 2];
}

double median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// A reader with an empty history and one holding 30 days, each on its own fake port,
// measured by turns: the machine's busy moments then fall on both alike, and the ratio
// is the median of the rounds' ratios.
void reader_figures() {
    qelm_reader::set_synced(false);
    fake_instrument full_inst(7);
    qelm_reader full;
    full.connect(full_inst.port());
    full_inst.send("\r\n");
    full.poll();
    constexpr std::size_t month = 30 * 86'400;
    const auto day = make_lines(86'400, 4);
    while (full.record_count() < month)
        for (std::size_t i = 0; i < day.size() && full.record_count() < month; ++i)
            full.receive(day[i]);

    fake_instrument empty_inst(8);
    qelm_reader empty;
    empty.connect(empty_inst.port());
    empty_inst.send("\r\n");
    empty.poll();
    const auto warm_up = make_lines(200, 3);
    poll_us_per_record(empty, empty_inst, warm_up);
    poll_us_per_record(full, full_inst, warm_up);

    std::vector<double> empty_us, full_us, ratios;
    for (unsigned round = 0; round < 20; ++round) {
        const auto probe = make_lines(300, 10 + round);
        empty_us.push_back(poll_us_per_record(empty, empty_inst, probe));
        full_us.push_back(poll_us_per_record(full, full_inst, probe));
        ratios.push_back(full_us.back() / empty_us.back());
    }
    std::printf("reader_us_per_record: %.2f us\n", median(empty_us));
    std::printf("reader_us_per_record_30d: %.2f us\n", median(full_us));
    std::printf("reader_cost_ratio_30d_vs_empty: %.2f x\n", median(ratios));
}

void memory_figures() {
    const auto lines = make_lines(86'400, 5);
    qelm_reader::set_synced(false);
    const std::size_t before = heap_in_use();
    auto r = std::make_unique<qelm_reader>();
    r->receive("\r\n");
    for (const auto& l : lines)
        r->receive(l);
    const std::size_t held = heap_in_use() - before;
    std::printf("reader_bytes_per_record: %.0f bytes\n", double(held) / double(r->record_count()));
}

// An hour of recording, one batch (one line) a second, into a folder on this
// machine's disk (the temporary folder: TMPDIR names another), the batches
// one after the other without the second between them, so the disk is busier
// than in a real hour. First each batch written and synced in place, as the
// user-interface thread would pay it; then what record_file's commit costs
// that thread, the sync running on its own thread.
std::vector<double> sorted_ms(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v;
}

void print_ms(const char* name, const std::vector<double>& ms) {
    std::printf("%s_median_ms: %.3f ms\n", name, ms[ms.size() / 2]);
    std::printf("%s_p99_ms: %.3f ms\n", name, ms[ms.size() * 99 / 100]);
    std::printf("%s_longest_ms: %.3f ms\n", name, ms.back());
}

void sync_figures() {
    temp_dir dir;
    const auto lines = make_lines(3600, 6);
    const auto since = [](clock_type::time_point t0) {
        return std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
    };

    const int fd = ::open(dir.file("in_place.dat").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    std::vector<double> in_place;
    for (const auto& l : lines) {
        const auto t0 = clock_type::now();
        if (::write(fd, l.data(), l.size()) != ssize_t(l.size()) || ::fdatasync(fd) != 0)
            std::fprintf(stderr, "sync: write or sync failed\n");
        in_place.push_back(since(t0));
    }
    ::close(fd);
    print_ms("record_write_and_sync", sorted_ms(in_place));

    record_file file;
    if (!file.open(dir.file("record.dat")))
        return;
    std::vector<double> commit;
    for (const auto& l : lines) {
        file.append(l);
        const auto t0 = clock_type::now();
        file.commit();
        commit.push_back(since(t0));
    }
    file.close();
    print_ms("record_commit", sorted_ms(commit));
}

} // namespace

int main() {
    parser_figures();
    memory_figures();
    sync_figures();
    reader_figures();
    return 0;
}
