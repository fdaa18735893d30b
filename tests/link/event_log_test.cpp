// The event log: one time-stamped line per event, kept to its size limit with
// one old copy, in the state folder the platform's conventions name.

#include "link/clock.h"
#include "link/event_log.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;

class event_log_test : public ::testing::Test {
protected:
    void SetUp() override { marev::set_clock(&clock); }
    void TearDown() override { marev::set_clock(nullptr); }

    marev::fake_clock clock{1'700'000'000}; // 2023-11-14T22:13:20Z
    temp_dir dir;
};

TEST_F(event_log_test, each_event_is_one_utc_line_and_the_folder_is_made) {
    const std::string path = (dir.path() / "state" / "events.log").string();
    marev::event_log log(path);
    ASSERT_TRUE(log.write("Instrument lost on COM4."));
    clock.advance(61);
    ASSERT_TRUE(log.write("Instrument back on COM4 after 61 s."));
    EXPECT_EQ(read_file(path), "2023-11-14T22:13:20Z Instrument lost on COM4.\n"
                               "2023-11-14T22:14:21Z Instrument back on COM4 after 61 s.\n");
    EXPECT_EQ(marev::iso_utc(0), "1970-01-01T00:00:00Z");
    // Past 2038.
    EXPECT_EQ(marev::iso_utc(4'102'444'800), "2100-01-01T00:00:00Z");
}

TEST_F(event_log_test, past_its_limit_the_log_starts_anew_keeping_one_old_copy) {
    const std::string path = dir.file("events.log");
    const std::string line = "2023-11-14T22:13:20Z event 0\n";
    // Room for three lines.
    marev::event_log log(path, 3 * line.size());
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(log.write("event " + std::to_string(i)));
    const auto lines = [](const std::string& text) {
        std::string events;
        for (std::size_t p = 0; (p = text.find("event ", p)) != std::string::npos; p += 6)
            events += text[p + 6];
        return events;
    };
    EXPECT_EQ(lines(read_file(path)), "67");
    EXPECT_EQ(lines(read_file(path + ".1")), "345");
    EXPECT_FALSE(fs::exists(path + ".2"));
}

TEST_F(event_log_test, a_log_that_cannot_be_written_is_no_error) {
    write_file(dir.file("file"), "x");
    EXPECT_FALSE(marev::event_log(dir.file("file") + "/events.log").write("lost"));
    EXPECT_FALSE(marev::event_log("").write("lost"));
}

// Sets an environment variable for the test; nullptr removes it.
void set_env(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
#endif
}

std::optional<std::string> get_env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

#ifdef _WIN32
TEST(state_folder, is_the_local_application_data_folder) {
    const auto local = get_env("LOCALAPPDATA"), roaming = get_env("APPDATA");
    set_env("APPDATA", "C:\\Users\\ann\\AppData\\Roaming");
    set_env("LOCALAPPDATA", "C:\\Users\\ann\\AppData\\Local");
    EXPECT_EQ(marev::state_folder(), "C:\\Users\\ann\\AppData\\Local\\Quorvex\\Marev01");
    EXPECT_EQ(marev::event_log_path(),
              "C:\\Users\\ann\\AppData\\Local\\Quorvex\\Marev01\\events.log");
    set_env("LOCALAPPDATA", nullptr);
    EXPECT_EQ(marev::state_folder(), "C:\\Users\\ann\\AppData\\Roaming\\Quorvex\\Marev01");
    set_env("LOCALAPPDATA", local ? local->c_str() : nullptr);
    set_env("APPDATA", roaming ? roaming->c_str() : nullptr);
}
#else
TEST(state_folder, follows_xdg_state_home_and_else_the_home_folder) {
    const auto state = get_env("XDG_STATE_HOME"), home = get_env("HOME");
    set_env("HOME", "/home/ann");
    struct {
        const char* xdg; // nullptr: unset
        const char* folder;
    } const cases[] = {
        {"/var/state", "/var/state/Quorvex/Marev01"},
        {nullptr, "/home/ann/.local/state/Quorvex/Marev01"},
        {"", "/home/ann/.local/state/Quorvex/Marev01"},
        {"relative/path", "/home/ann/.local/state/Quorvex/Marev01"},
    };
    for (const auto& c : cases) {
        set_env("XDG_STATE_HOME", c.xdg);
        EXPECT_EQ(marev::state_folder(), c.folder) << (c.xdg ? c.xdg : "(unset)");
    }
    EXPECT_EQ(marev::event_log_path(), "/home/ann/.local/state/Quorvex/Marev01/events.log");
    set_env("XDG_STATE_HOME", state ? state->c_str() : nullptr);
    set_env("HOME", home ? home->c_str() : nullptr);
}
#endif

} // namespace
