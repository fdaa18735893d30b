#include "link/command.h"

#include "link/link_error.h"
#include "link/qelm_reader.h"

#include <iterator>

int command_byte(command code) {
    // Codes without a byte are gaps the instrument's command set leaves.
    static constexpr int table[] = {
        's', 'g', 'i', 'o', 'O', 'P', 'm', 'n', -1, '1', '2', '3', -1, -1, -1, 'M', 'L', '?', '\r',
    };
    const auto i = static_cast<unsigned>(code);
    return i < std::size(table) ? table[i] : -1;
}

void qelm_reader::send_command(command code) {
    const int b = command_byte(code);
    if (b < 0)
        throw link_error("Bad command for QELM");
    if (!port_open())
        return;
    const std::uint8_t byte = static_cast<std::uint8_t>(b);
    port_->write(&byte, 1);
}

void qelm_reader::send_text(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.empty() || !port_open())
        return;
    port_->write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}
