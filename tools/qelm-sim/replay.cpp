#include "replay.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

bool has_stamp(std::string_view s) {
    static constexpr std::string_view shape = "dddd-dd-dd,dd:dd:dd,";
    if (s.size() < shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(s[i])) != 0;
        if (shape[i] == 'd' ? !digit : s[i] != shape[i])
            return false;
    }
    return true;
}

} // namespace

std::vector<std::string> split_record_text(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    auto take = [&](std::size_t end) {
        std::string_view line = text.substr(start, end - start);
        if (has_stamp(line))
            line.remove_prefix(20);
        if (!line.empty())
            lines.emplace_back(line);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            take(i);
            start = i + 1;
        }
    }
    take(text.size());
    return lines;
}

std::vector<std::string> read_record_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error("cannot read " + path);
    auto lines = split_record_text(text);
    if (lines.empty())
        throw std::runtime_error(path + " holds no line to replay");
    return lines;
}
