// An arbitrary byte stream in arbitrary chunks, with clears in between: the
// reader must agree with the literal line step, keep its per-record values
// consistent, and hold bounded memory however the stream looks.
#include "link/qelm_reader.h"

#include "literal_reader.h"
#include "sscanf_parser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "reader invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    // The first byte chooses the starting flag and how the stream is cut.
    const std::uint8_t mode = data[0];
    data += 1;
    size -= 1;
    qelm_reader::set_synced(mode & 1);
    qelm_reader r;
    literal_reader m;
    m.synced = qelm_reader::synced();
    m.bad = 0; // a reader that was never connected counts from 0

    std::size_t at = 0;
    std::size_t checked = 0; // records already compared
    std::size_t chunk = 1 + (mode >> 1) % 61;
    while (at < size) {
        const std::size_t n = std::min(chunk, size - at);
        const std::string_view bytes(reinterpret_cast<const char*>(data + at), n);
        r.receive(bytes);
        m.feed(bytes);
        at += n;
        chunk = 1 + (chunk * 7 + n) % 97;
        if ((mode & 0x80) && data[at - 1] == 0xff) {
            r.clear();
            m.clear();
            checked = 0;
        }
        check(r.rx_byte_count() == m.rx.size(), "byte count");
        check(r.line_count() == m.lines.size(), "line count");
        check(r.record_count() == m.records.size(), "record count");
        check(r.bad_lines() == m.bad, "bad lines");
        check(r.serial_number() == m.serial, "serial number");
        check(qelm_reader::synced() == m.synced, "synchronisation");
        check(r.first_held_line() <= r.line_count(), "held lines");
        for (std::size_t i = r.first_held_line(); i < r.line_count(); ++i)
            check(r.line(i) == m.lines[i].substr(0, max_line_length), "line text");
        // Every new record, header and all 60 counts, as its line reads; a
        // record reports the reader's latest serial number.
        for (; checked < r.record_count() && checked < m.records.size(); ++checked) {
            data_record expected = m.records[checked];
            expected.serial_number = m.serial;
            check(same_result(r.record(checked), expected), "record values");
        }
        // Held: the records (in three lists of 256 KiB chunks), at most a
        // thousand lines of at most 4096 bytes,
        // and a few pending line pieces.
        check(r.memory_bytes() <=
                  r.record_count() * 600 + 3 * 300 * 1024 +
                      (r.line_count() - r.first_held_line()) * (max_line_length + 64) +
                      8 * (max_line_length + 64),
              "memory bound");
    }
    return 0;
}
