#pragma once

// The instrument's commands by their codes. Each code stands for one byte;
// the codes between have none. The letters without a name of their own are
// steps of the calibration sequences whose effect the program does not rely on.
enum class command : unsigned {
    pump_off = 0,  // 's'
    pump_on = 1,   // 'g'
    pmt_off = 2,   // 'i'
    pmt_on = 3,    // 'o'
    letter_O = 4,  // 'O'
    probe = 5,     // 'P': the instrument answers with data lines
    letter_m = 6,  // 'm'
    letter_n = 7,  // 'n'
    step_1 = 9,    // '1': selects high-voltage step 1
    step_2 = 10,   // '2'
    step_3 = 11,   // '3'
    letter_M = 15, // 'M'
    letter_L = 16, // 'L'
    query = 17,    // '?'
    enter = 18,    // carriage return: confirms a step selection
};

// The command selecting high-voltage step n, 1 to 3.
constexpr command step_command(int n) {
    return static_cast<command>(static_cast<unsigned>(command::step_1) + unsigned(n - 1));
}

// Byte of a command code, or -1 for a code without one.
int command_byte(command code);
