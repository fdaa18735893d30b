#include "link/link_error.h"
#include "link/port_names.h"
#include "link/serial.h"

#include "fake_instrument.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
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
#else
TEST(port_names, com_numbers_are_the_devices_themselves) {
    // The device form works for every number; plain "COM10" would not open.
    EXPECT_EQ(port_device("COM3"), "\\\\.\\COM3");
    EXPECT_EQ(port_device("COM12"), "\\\\.\\COM12");
    EXPECT_EQ(port_device("COMx"), "COMx");
}

// Wine lets a second CreateFileA without sharing through; Windows refuses it.
bool under_wine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}
#endif

// The device folders and links of a POSIX system; Windows lists its COM
// ports and links nothing.
#ifndef _WIN32
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
#endif

TEST(serial, opens_exclusively_and_never_waits) {
    fake_instrument inst(3);
    Serial a;
    a.set_speed(19200);
    a.open(3, "COM3");
    EXPECT_TRUE(a.is_open());
    EXPECT_EQ(a.open_port(), 3);
    EXPECT_EQ(a.device(), inst.device());

    Serial b;
#ifdef _WIN32
    if (under_wine()) {
        b.open(3, "COM3"); // shows what Wine does; not what Windows does
        EXPECT_TRUE(b.is_open());
        b.close();
    } else
#endif
    {
        try {
            b.open(3, "COM3");
            FAIL() << "second open succeeded";
        } catch (const link_error& e) {
            EXPECT_STREQ(e.what(), "Could Not Open COM3.");
#ifndef _WIN32
            EXPECT_NE(e.detail().find("in use"), std::string::npos) << e.detail();
#endif
        }
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

#ifndef _WIN32
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

// A pseudo-terminal linked as COM<port> in a port folder of its own; the
// test holds both sides, to read the line format back and to play a device
// that takes its bytes late, never, or vanishes.
struct pty_port {
    explicit pty_port(int port) {
        char name[256];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        device = name;
        set_port_folder(folder.path().string());
        std::filesystem::create_symlink(device, folder.path() / ("COM" + std::to_string(port)));
    }
    ~pty_port() {
        close_master();
        ::close(slave);
    }
    void close_master() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    // Reads what the port sent until n bytes came or nothing came for a while.
    std::string take(std::size_t n, int quiet_ms = 500) const {
        std::string got;
        char buf[4096];
        pollfd p{master, POLLIN, 0};
        while (got.size() < n && ::poll(&p, 1, quiet_ms) > 0) {
            const ssize_t r = ::read(master, buf, sizeof buf);
            if (r <= 0)
                break;
            got.append(buf, std::size_t(r));
        }
        return got;
    }

    temp_dir folder;
    int master = -1, slave = -1;
    std::string device;
};

std::string pattern(std::size_t n) {
    std::string s(n, 0);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = char('A' + i % 23);
    return s;
}

TEST(serial, sets_19200_8n1_without_flow_control_whatever_the_port_had) {
    pty_port pty(5);
    // Left by another program: 9600 baud, 7 bits, even parity, 2 stop bits,
    // both kinds of flow control, reads that wait.
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.slave, &before), 0);
    ::cfsetispeed(&before, B9600);
    ::cfsetospeed(&before, B9600);
    before.c_cflag = (before.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    before.c_iflag |= IXON | IXOFF;
    before.c_cc[VMIN] = 1;
    before.c_cc[VTIME] = 5;
    ASSERT_EQ(::tcsetattr(pty.slave, TCSANOW, &before), 0);

    Serial s;
    s.set_speed(19200);
    s.open(5, "COM5");
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B19200));
    EXPECT_EQ(::cfgetispeed(&t), speed_t(B19200));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u); // raw: bytes as they come
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(serial, a_full_queue_loses_no_byte_and_a_stalled_or_vanished_device_frees_the_caller) {
    const std::string text = pattern(100000);
    {
        // The device starts reading only once the port's queue is full.
        pty_port pty(5);
        Serial s;
        s.open(5, "COM5");
        std::string got;
        std::thread device([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            got = pty.take(text.size());
        });
        s.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        device.join();
        EXPECT_EQ(got.size(), text.size());
        EXPECT_TRUE(got == text) << "bytes lost or out of order";
        EXPECT_FALSE(s.lost());
    }
    {
        // Nobody reads: the write gives up once nothing is taken for a while,
        // the bytes taken are the text's first ones, and the port goes on.
        pty_port pty(5);
        Serial s;
        s.open(5, "COM5");
        s.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        EXPECT_FALSE(s.lost());
        const std::string got = pty.take(text.size(), 100);
        EXPECT_FALSE(got.empty());
        EXPECT_LT(got.size(), text.size());
        EXPECT_EQ(got, text.substr(0, got.size()));
        s.write(reinterpret_cast<const std::uint8_t*>("P"), 1);
        EXPECT_EQ(pty.take(1), "P");
    }
    {
        // The device vanishes while the write waits for room: it is lost.
        pty_port pty(5);
        Serial s;
        s.open(5, "COM5");
        std::thread pull([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            pty.close_master();
        });
        s.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        pull.join();
        EXPECT_TRUE(s.lost());
    }
}

#else
// The line format as the program reads it back and as the device on the far
// side got it: 8 data bits, no parity, 1 stop bit, no flow control of either
// kind, at the set speed (19200 for one the port does not offer).
TEST(serial, sets_the_line_format_and_reads_that_return_at_once) {
    fake_instrument inst(6);
    const struct {
        std::int32_t speed;
        DWORD baud;
        const char* line;
    } cases[] = {{19200, 19200, "19200 8N1 none"},
                 {9600, 9600, "9600 8N1 none"},
                 {115200, 115200, "115200 8N1 none"},
                 {0, 19200, "19200 8N1 none"},
                 {12345, 19200, "19200 8N1 none"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.speed);
        Serial s;
        s.set_speed(c.speed);
        s.open(6, "COM6");
        const HANDLE h = static_cast<HANDLE>(s.native_handle());
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(::GetCommState(h, &dcb));
        EXPECT_EQ(dcb.BaudRate, c.baud);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, NOPARITY);
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
        EXPECT_FALSE(dcb.fOutxCtsFlow);
        EXPECT_FALSE(dcb.fOutxDsrFlow);
        EXPECT_NE(dcb.fRtsControl, unsigned(RTS_CONTROL_HANDSHAKE));
        EXPECT_NE(dcb.fDtrControl, unsigned(DTR_CONTROL_HANDSHAKE));
        EXPECT_FALSE(dcb.fOutX);
        EXPECT_FALSE(dcb.fInX);
        EXPECT_EQ(inst.line_format(), c.line);

        COMMTIMEOUTS t{};
        ASSERT_TRUE(::GetCommTimeouts(h, &t));
        EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    }
}

TEST(serial, a_missing_port_says_why) {
    Serial s;
    try {
        s.open(41, "COM41");
        FAIL() << "opened";
    } catch (const link_error& e) {
        EXPECT_STREQ(e.what(), "Could Not Open COM41.");
        EXPECT_EQ(e.detail().rfind("\\\\.\\COM41: ", 0), 0u) << e.detail();
        EXPECT_GT(e.detail().size(), std::string("\\\\.\\COM41: ").size()) << e.detail();
    }
    EXPECT_FALSE(s.is_open());
}
#endif

} // namespace
