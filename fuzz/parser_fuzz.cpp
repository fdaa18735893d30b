// Any input line must parse exactly as the C library's sscanf reads it.
#include "link/data_record.h"

#include "sscanf_parser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto fast = parse_data_line(line);
    const auto reference = parse_data_line_sscanf(line);
    if (!same_result(fast, reference)) {
        std::fprintf(stderr, "parser disagrees with sscanf: %s vs %s\n", fast ? "good" : "bad",
                     reference ? "good" : "bad");
        std::abort();
    }
    return 0;
}
