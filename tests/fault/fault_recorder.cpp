// A recorder as the main window runs one, without windows: connects to
// COM<port> in the port folder, records every line taken to the file, one
// batch per 50 ms tick, until it is killed.
//
//   fault_recorder PORT_FOLDER PORT FILE
#include "link/port_names.h"
#include "link/qelm_reader.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: fault_recorder PORT_FOLDER PORT FILE\n");
        return 2;
    }
    try {
        set_port_folder(argv[1]);
        qelm_reader reader;
        reader.connect(std::atoi(argv[2]));
        reader.open_record(argv[3], 0);
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            reader.poll();
            reader.write_records();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fault_recorder: %s\n", e.what());
        return 1;
    }
}
