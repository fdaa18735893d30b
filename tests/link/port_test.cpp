#include "link/link_error.h"
#include "link/port_names.h"
#include "link/serial.h"

#include "fake_instrument.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(port_names, com_numbers_open_the_linked_device_or_the_serial_device) {
    temp_dir folder;
    set_port_folder(folder.path().string());
    EXPECT_EQ(port_folder(), folder.path().string());
    std::filesystem::create_symlink("/dev/null", folder.path() / "COM3");
    EXPECT_EQ(port_device("COM3"), "/dev/null");
    EXPECT_EQ(port_device("COM4"), "/dev/ttyS3");
    EXPECT_EQ(port_device("COM1"), "/dev/ttyS0");
    EXPECT_EQ(port_device("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(port_device("COMx"), "COMx");
    std::filesystem::create_symlink(folder.path() / "gone", folder.path() / "COM9");
    EXPECT_EQ(port_device("COM9"), (folder.path() / "COM9").string());
}

TEST(port_names, devices_are_listed_by_stable_name_first_and_linked_in_one_step) {
    namespace fs = std::filesystem;
    temp_dir dev, ports;
    set_port_folder((ports.path() / "new" / "ports").string());
    // Two adapters, one with a stable name; two built-in ports, of which one
    // cannot be opened (here a folder stands for it).
    for (const char* f : {"ttyUSB0", "ttyUSB1", "ttyS10", "ttyS2"})
        write_file(dev.file(f), "");
    fs::create_directory(dev.path() / "ttyS0");
    fs::create_directories(dev.path() / "serial" / "by-id");
    const std::string stable =
        (dev.path() / "serial" / "by-id" / "usb-Maker_Adapter-if00").string();
    fs::create_symlink("../../ttyUSB1", stable);
    EXPECT_EQ(serial_devices(dev.path().string()),
              (std::vector<std::string>{stable, dev.file("ttyUSB0"), dev.file("ttyS2"),
                                        dev.file("ttyS10")}));

    EXPECT_EQ(linked_port(stable), 0);
    EXPECT_EQ(link_port(5, stable), "");
    EXPECT_EQ(fs::read_symlink(ports.path() / "new" / "ports" / "COM5").string(), stable);
    // The same device, under any of its names, is found linked.
    EXPECT_EQ(linked_port(stable), 5);
    EXPECT_EQ(linked_port(dev.file("ttyUSB1")), 5);
    EXPECT_EQ(linked_port(dev.file("ttyUSB0")), 0);
    // Linking another device to the number replaces the link.
    EXPECT_EQ(link_port(5, dev.file("ttyUSB0")), "");
    EXPECT_EQ(linked_port(dev.file("ttyUSB0")), 5);
    EXPECT_EQ(linked_port(stable), 0);
    EXPECT_EQ(port_device("COM5"), fs::canonical(dev.file("ttyUSB0")).string());
    // A file of that name is not the program's to replace.
    write_file((ports.path() / "new" / "ports" / "COM6").string(), "mine");
    EXPECT_NE(link_port(6, stable), "");
    EXPECT_EQ(read_file((ports.path() / "new" / "ports" / "COM6").string()), "mine");
}

TEST(serial, opens_exclusively_and_never_waits) {
    fake_instrument inst(3);
    Serial a;
    a.set_speed(19200);
    a.open(3, "COM3");
    EXPECT_TRUE(a.is_open());
    EXPECT_EQ(a.open_port(), 3);
    EXPECT_EQ(a.device(), inst.device());

    Serial b;
    try {
        b.open(3, "COM3");
        FAIL() << "second open succeeded";
    } catch (const link_error& e) {
        EXPECT_STREQ(e.what(), "Could Not Open COM3.");
        EXPECT_NE(e.detail().find("in use"), std::string::npos) << e.detail();
    }
    EXPECT_EQ(b.open_port(), 0);
    EXPECT_NO_THROW(b.close()); // closing after a failed open raises nothing

    std::uint8_t buf[16];
    std::size_t n = sizeof buf;
    const auto start = std::chrono::steady_clock::now();
    a.read(buf, n);
    EXPECT_EQ(n, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

    a.write(buf, 0);
    EXPECT_EQ(a.write_calls(), 0u);
    EXPECT_EQ(inst.received(), "");

    inst.send("hi");
    n = sizeof buf;
    a.read(buf, n);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), n), "hi");

    a.close();
    EXPECT_EQ(a.open_port(), 0);
    b.open(3, "COM3"); // free again once closed
    EXPECT_TRUE(b.is_open());
}

TEST(serial, a_killed_owner_leaves_no_lock_behind) {
    fake_instrument inst(4);
    const pid_t child = fork();
    if (child == 0) {
        Serial s;
        s.open(4, "COM4");
        _exit(0); // no close: the system drops the lock with the process
    }
    int status = 0;
    waitpid(child, &status, 0);
    Serial s;
    EXPECT_NO_THROW(s.open(4, "COM4"));
}

} // namespace
