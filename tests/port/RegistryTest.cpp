// The port registry: PORT texts that name no usable port are refused before anything is
// opened (status 2, one line, not one write), and every registered kind of port opens
// or says why not, each produced for real on device nodes of the test's own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "port/Registry.h"
#include "support/EntryRun.h"
#include "support/PortTrace.h"
#include "support/Subprocess.h"

namespace {

/// Opens `text` in a child process (port state is per process) with no controlling
/// terminal, as a service runs, optionally as an unprivileged user, and reports how it
/// ended (without the port). Status 5: opening made the port the child's controlling terminal.
port::OpenResult openInChild(const std::string& text, bool unprivileged) {
    const RunResult run = runInChild([&] {
        if (setsid() < 0 ||
            (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))) {
            return 3;
        }
        port::OpenResult result = port::open(text);
        if (result.port != nullptr) {
            result.port->close();
        }
        std::cout << static_cast<int>(result.status) << result.reason << std::flush;
        return open("/dev/tty", O_RDONLY | O_CLOEXEC) >= 0 ? 5 : std::cout ? 0 : 4;
    });
    EXPECT_EQ(run.exitCode, 0);
    if (run.out.empty()) {
        return port::OpenResult::unusable("(no answer)");
    }
    return {static_cast<port::OpenResult::Status>(run.out[0] - '0'), nullptr, run.out.substr(1)};
}

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testing::TempDir() + "pmc10-registry-" + std::to_string(getpid());
        std::filesystem::create_directory(dir_);
        std::ofstream(dir_ + "/file");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_;
};

TEST_F(RegistryTest, TextsThatNameNoUsablePortAreRefusedBeforeAnyWrite) {
    const struct {
        const char* why;
        std::vector<std::string> texts;
    } cases[] = {
        {"not a port this tool knows", {"bogus"}},
        {"not an I/O address", {"0x", "0x0", "0x10000", "0xZZ"}},
        {"outside the addresses a parallel port can have", {"0x20", "0xff", "0xfffd"}},
        // Inside the registers of the port at 0x274 or 0x278: no port starts there.
        {"not where a parallel port starts (a base address is a multiple of 4",
         {"0x276", "0x279", "0x27a"}},
        {"a parallel port is parportN or /dev/parportN", {"parportX"}},
        {"a regular file, not a parallel port", {dir_ + "/file"}},
        {"a directory, not a parallel port", {dir_}},
        {"No such file or directory", {dir_ + "/missing"}},
        {"a character device that is not a parallel port", {"/dev/null"}},
        {"a terminal, not a parallel port", {"/dev/ptmx"}},
        {"use ftdi, ftdi:s:VID:PID:SERIAL", {"ftdi:", "ftdi:x:0403"}},
        {"write a serial number as ftdi:s:VID:PID:SERIAL",
         {"ftdi:s:0403:6001:", "ftdi:s:0403:6001"}},
        {"write an index as ftdi:i:VID:PID[:INDEX]",
         {"ftdi:i:0403", "ftdi:i:04031:6001", "ftdi:i:0403:6001:x", "ftdi:i:0403:6001:"}},
        // Another device's IDs: a hub, an MCP2221A. Never opened, never detached.
        {"1d6b:0002 is not an FTDI adapter", {"ftdi:i:1d6b:0002"}},
        {"04d8:00dd is not an FTDI adapter", {"ftdi:s:04d8:00dd:X"}},
        {"write a USB device as ftdi:d:BUS/DEVICE", {"ftdi:d:1", "ftdi:d:0/4", "ftdi:d:1/256"}},
        {"no serial port after 'board:'", {"board:"}},
#if defined(PMC10_HAVE_HIDRAW)
        {"write an MCP2221A as mcp2221 or mcp2221:/dev/hidrawN",
         {"mcp2221:", "mcp2221:hidrawX", "mcp2221x"}},
#endif
#if defined(PMC10_HAVE_GPIO)
        {"four lines are needed", {"gpio:"}},
        {"(found 5)", {"gpio:gpiochip0:0,1,2,3,4"}},
        {"line 01 is given twice", {"gpio:gpiochip0:1,01,2,3"}},
        {"line GPIO17 is given twice", {"gpio:GPIO17,GPIO27,GPIO17,GPIO23"}},
        {"line offsets need a chip", {"gpio:17,27,22,23"}},
        {"no chip before ':'", {"gpio::0,1,2,3"}},
        {"an empty line", {"gpio:gpiochip0:0,1,,3"}},
        {"unknown option 'active-high'", {"gpio:gpiochip0:0,1,2,3;active-high"}},
        {"unknown option ''", {"gpio:gpiochip0:0,1,2,3;"}},
        {"no such line",
         {"gpio:gpiochip0:0,1,2,99999999999999999999",
          "gpio:gpiochip0:0,1,2,A_NAME_LONGER_THAN_THE_KERNEL_KEEPS"}},
#endif
    };
    for (const auto& c : cases) {
        for (const std::string& text : c.texts) {
            SCOPED_TRACE(text);
            for (const std::vector<std::string>& args :
                 {std::vector<std::string>{"--port", text, "rd", "menu"},
                  {"-p", text, "pmcchannel", "5"},
                  {"--port=" + text, "cable"}}) {
                portlib::recorder::clear();
                const EntryRun run = runEntryWith(args);
                EXPECT_EQ(run.status, ExitUsage);
                EXPECT_EQ(run.out, "");
                EXPECT_EQ(run.err.rfind("pmc10: cannot use port '" + text + "': ", 0), 0U);
                EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
                EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
                EXPECT_EQ(writeCount(), 0);
            }
        }
    }
#ifdef PMC10_HAVE_DIRECT_IO
    // The edges of the I/O addresses are taken, without opening anything.
    EXPECT_EQ(port::check("0x100"), "");
    EXPECT_EQ(port::check("0xfffc"), "");
#endif
}

TEST_F(RegistryTest, EveryKindOfPortOpensOrSaysWhyNot) {
    using Status = port::OpenResult::Status;
    const std::string node = dir_ + "/parport7";
    const bool root = geteuid() == 0;
    // A serial line where no board answers: a pseudo-terminal whose other end stays silent.
    const int silent = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(silent >= 0 && grantpt(silent) == 0 && unlockpt(silent) == 0);
    const std::string line = ptsname(silent);
    if (root) {
        ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0600, makedev(99, 7)), 0);
    }
    const struct {
        std::string text;
        Status status;
        std::string reason;
        bool unprivileged = false;  // opened by an unprivileged user
    } cases[] = {
        {"sim", Status::Opened, ""},
        // Not what the backend's check takes: refused before the backend tries it.
        {"parportX", Status::BadText, "a parallel port is parportN"},
        {"recorder", Status::Opened, ""},
        {node, Status::Unusable, "exists, but no parallel port or driver is behind it"},
        {node, Status::Unusable,
         "Permission denied (add your user to the \"lp\" group, or run as root)", true},
#ifdef PMC10_HAVE_DIRECT_IO
        {"0x278", Status::Unusable, "needs root", true},
#endif
#ifdef PMC10_HAVE_LIBFTDI
        // No adapter has this serial number; the hex IDs with a leading 0 are not octal.
        {"ftdi:s:0403:6001:NO-SUCH-SERIAL", Status::Unusable,
         "no FTDI adapter 0403:6001 with serial number NO-SUCH-SERIAL is plugged in"},
        {"ftdi:i:0x0403:0x6001:999", Status::Unusable, "there is no adapter 0403:6001 number 999"},
#else
        {"ftdi:s:0403:6001:NO-SUCH-SERIAL", Status::Unusable, "built without libftdi1"},
#endif
        // Nothing but a serial line is ever opened as a board.
        {"board:/dev/null", Status::BadText, "/dev/null is not a serial port"},
        {"board:/dev/ptmx", Status::BadText, "is not a serial port"},
        {"board:" + dir_ + "/file", Status::BadText, "is not a serial port"},
        {"board:" + dir_ + "/missing", Status::Unusable, "No such file"},
        {"board:" + line, Status::Unusable, "no pmc10 board answers on " + line},
#ifdef PMC10_HAVE_GPIO
        {"gpio:" + dir_ + "/gpiochip9:0,1,2,3", Status::Unusable, "no GPIO chip"},
        {"gpio:" + dir_ + "/file:0,1,2,3", Status::Unusable, "is not a GPIO chip"},
#endif
#ifdef PMC10_HAVE_HIDRAW
        {"mcp2221:/dev/null", Status::Unusable, "/dev/null is not an MCP2221A's hidraw node"},
        {"mcp2221:" + dir_ + "/missing", Status::Unusable, "No such file or directory"},
#endif
    };
    std::vector<std::string> covered;
    for (const auto& c : cases) {
        if (c.text == node && !root) {  // only root makes the node
            continue;
        }
        SCOPED_TRACE(c.text);
        const port::OpenResult outcome = openInChild(c.text, c.unprivileged);
        EXPECT_EQ(outcome.status, c.status) << outcome.reason;
        EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome.reason;
        covered.push_back(port::backendFor(c.text)->name);
    }
    for (const port::Backend* backend : port::backends()) {
        EXPECT_NE(std::find(covered.begin(), covered.end(), backend->name), covered.end())
            << "no case for the backend " << backend->name;
    }
    close(silent);
}

}  // namespace
