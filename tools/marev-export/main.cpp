// marev-export FILE... [-o OUT.csv]: record files as one CSV table, the files
// joined in the order given. Standard output without -o, so that it pipes
// into other tools; bad lines are left out and counted on standard error.
#include "link/csv_export.h"
#include "link/link_error.h"
#include "link/record_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char* const usage = "usage: marev-export FILE... [-o OUT.csv]\n"
                          "Writes the records of the record files as CSV: one header row, then\n"
                          "one row per record, the files one after the other. Without -o the\n"
                          "table goes to standard output.\n";

bool put(std::FILE* out, const std::string& s) {
    return std::fwrite(s.data(), 1, s.size(), out) == s.size();
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    const char* out_path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (a == "-o") {
            if (++i == argc) {
                std::fputs(usage, stderr);
                return 2;
            }
            out_path = argv[i];
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "marev-export: unknown option %s\n%s", argv[i], usage);
            return 2;
        } else {
            files.emplace_back(a);
        }
    }
    if (files.empty()) {
        std::fputs(usage, stderr);
        return 2;
    }

    std::FILE* out = stdout;
    if (out_path && !(out = std::fopen(out_path, "wb"))) {
        std::fprintf(stderr, "marev-export: cannot write %s: %s\n", out_path, std::strerror(errno));
        return 1;
    }
    int status = 0;
    bool written = put(out, csv_header());
    std::string rows;
    for (const std::string& path : files) {
        const std::string name = std::filesystem::path(path).filename().string();
        record_reader r(path);
        std::size_t done = 0;
        // Rows go out block by block as the file is read.
        const auto flush = [&] {
            rows.clear();
            append_csv_rows(rows, r, name, done, r.record_count());
            done = r.record_count();
            written = written && put(out, rows);
        };
        try {
            r.read([&](std::uint64_t, std::uint64_t) {
                flush();
                return written;
            });
            flush();
        } catch (const link_error& e) {
            std::fprintf(stderr, "marev-export: %s\n", e.what());
            status = 1;
            continue;
        }
        if (r.bad_lines() > 0)
            std::fprintf(stderr, "marev-export: %s: %zu bad line%s left out\n", name.c_str(),
                         r.bad_lines(), r.bad_lines() == 1 ? "" : "s");
        if (!written)
            break;
    }
    if (std::fflush(out) != 0 || !written || (out != stdout && std::fclose(out) != 0)) {
        std::fprintf(stderr, "marev-export: cannot write %s: %s\n",
                     out_path ? out_path : "standard output", std::strerror(errno));
        return 1;
    }
    return status;
}
