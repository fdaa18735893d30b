#pragma once

// Reads the log that qelm-sim writes with --log FILE. One entry per text line:
//
//   TX <t> <bytes>   bytes written to the pty in one write (usually one whole
//                    line, CR LF included; with --burst several; --garbage
//                    bytes and the half line of --vanish are writes of their own)
//   RX <t> <byte>    one byte received from the program
//   OPEN <t>         another process opened the device (Linux only)
//   CLOSE <t>        another process closed it (Linux only)
//   VANISH <t>       --return-after: the pty closed after --vanish
//   RETURN <t>       --return-after: a new pty linked; TX goes on after it
//
// <t>: seconds since the simulator started, printed "%.6f". <bytes> is escaped:
// "\\" a backslash, "\r" CR, "\n" LF, "\xHH" (two lower-case hex digits) every
// other byte below 0x20 or from 0x7f on; every other byte stands for itself.
// Each entry is written and flushed at once, so the file can be read while the
// simulator runs; an unfinished last line is left for the next read. Unknown
// kinds are skipped.
//
// The bytes of all TX entries, in order, are exactly what the device delivered
// to its readers; what was never written (nobody read, the pty was full, the
// instrument was away) is not in the log. TX before a VANISH went to the old
// device, TX after a RETURN to the new one.

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qelm_sim {

struct log_entry {
    std::string kind;  // "TX", "RX", "OPEN", "CLOSE", "VANISH", "RETURN"
    double time = 0;   // seconds since the simulator started
    std::string bytes; // unescaped
};

// The bytes an escaped text stands for. Throws std::invalid_argument on a
// broken escape.
inline std::string unescape(std::string_view text) {
    auto hex = [&](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        throw std::invalid_argument("bad \\x escape in the simulator log");
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size())
            throw std::invalid_argument("lone backslash in the simulator log");
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 'x':
            if (i + 2 >= text.size())
                throw std::invalid_argument("short \\x escape in the simulator log");
            out += char(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
            break;
        default:
            throw std::invalid_argument("unknown escape in the simulator log");
        }
    }
    return out;
}

// Every complete entry of the log, in order.
inline std::vector<log_entry> read_log(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the simulator log " + path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<log_entry> entries;
    std::size_t pos = 0;
    for (std::size_t nl; (nl = text.find('\n', pos)) != std::string::npos; pos = nl + 1) {
        std::string_view line(text.data() + pos, nl - pos);
        auto sp1 = line.find(' ');
        if (sp1 == std::string_view::npos)
            continue;
        auto sp2 = line.find(' ', sp1 + 1);
        log_entry e;
        e.kind = std::string(line.substr(0, sp1));
        e.time = std::stod(std::string(line.substr(sp1 + 1, sp2 - sp1 - 1)));
        if (sp2 != std::string_view::npos)
            e.bytes = unescape(line.substr(sp2 + 1));
        entries.push_back(std::move(e));
    }
    return entries;
}

// The bytes of every entry of one kind, joined.
inline std::string joined_bytes(const std::string& path, std::string_view kind) {
    std::string out;
    for (const auto& e : read_log(path))
        if (e.kind == kind)
            out += e.bytes;
    return out;
}

inline std::string sent_bytes(const std::string& path) {
    return joined_bytes(path, "TX");
}
inline std::string received_bytes(const std::string& path) {
    return joined_bytes(path, "RX");
}

// Each line sent, as the program's reader stores it: the bytes before its LF,
// the CR kept. Bytes after the last LF (half a line) are not a line.
inline std::vector<std::string> sent_lines(const std::string& path) {
    std::string all = sent_bytes(path);
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (std::size_t nl; (nl = all.find('\n', pos)) != std::string::npos; pos = nl + 1)
        lines.push_back(all.substr(pos, nl - pos));
    return lines;
}

} // namespace qelm_sim
