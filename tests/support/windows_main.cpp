// main() of the window tests: the program's application object (its notify()
// is the top-level handler) and a configuration folder of the tests' own, set
// before the first settings object is made.
#include "app/application.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
    temp_dir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    // The event log too goes to the tests' own folder.
    ::setenv("XDG_STATE_HOME", config.path().c_str(), 1);
    application app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
