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
#include <iostream>
#include <string>

#include "port/Registry.h"
#include "support/EntryRun.h"
#include "support/PortTrace.h"
#include "support/Subprocess.h"

namespace {

struct Outcome {
    port::OpenResult::Status status;
    std::string reason;
};

/// Opens `text` in a child process (port state is per process) with no controlling
/// terminal, as a service runs, optionally as an unprivileged user, and reports how it
/// ended. Status 5: opening made the port the child's controlling terminal.
Outcome openInChild(const std::string& text, bool unprivileged) {
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
        return {port::OpenResult::Status::Unusable, "(no answer)"};
    }
    return {static_cast<port::OpenResult::Status>(run.out[0] - '0'), run.out.substr(1)};
}

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testing::TempDir() + "pmc10-registry-" + std::to_string(getpid());
        mkdir(dir_.c_str(), 0755);
        const int fd = open((dir_ + "/file").c_str(), O_CREAT | O_WRONLY, 0644);
        close(fd);
    }
    void TearDown() override {
        unlink((dir_ + "/file").c_str());
        unlink((dir_ + "/parport7").c_str());
        rmdir(dir_.c_str());
    }
    std::string dir_;
};

TEST_F(RegistryTest, TextsThatNameNoUsablePortAreRefusedBeforeAnyWrite) {
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {"bogus", "not a port this tool knows"},
        {"0x", "not an I/O address"},
        {"0x0", "not an I/O address"},
        {"0x10000", "not an I/O address"},
        {"0xZZ", "not an I/O address"},
        {"0x20", "outside the addresses a parallel port can have"},
        // Inside the registers of the port at 0x274 or 0x278: no port starts there.
        {"0x276", "not where a parallel port starts (a base address is a multiple of 4"},
        {"0x279", "not where a parallel port starts"},
        {"0x27a", "not where a parallel port starts"},
        {"0xff", "outside the addresses a parallel port can have"},
        {"0xfffd", "outside the addresses a parallel port can have"},
        {"parportX", "a parallel port is parportN or /dev/parportN"},
        {dir_ + "/file", "a regular file, not a parallel port"},
        {dir_, "a directory, not a parallel port"},
        {dir_ + "/missing", "No such file or directory"},
        {"/dev/null", "a character device that is not a parallel port"},
        {"/dev/ptmx", "a terminal, not a parallel port"},
        {"ftdi:", "use ftdi, ftdi:s:VID:PID:SERIAL"},
        {"ftdi:x:0403", "use ftdi, ftdi:s:VID:PID:SERIAL"},
        {"ftdi:s:0403:6001:", "write a serial number as ftdi:s:VID:PID:SERIAL"},
        {"ftdi:s:0403:6001", "write a serial number as ftdi:s:VID:PID:SERIAL"},
        {"ftdi:i:0403", "write an index as ftdi:i:VID:PID[:INDEX]"},
        {"ftdi:i:04031:6001", "write an index as ftdi:i:VID:PID[:INDEX]"},
        {"ftdi:i:0403:6001:x", "write an index as ftdi:i:VID:PID[:INDEX]"},
        {"ftdi:i:0403:6001:", "write an index as ftdi:i:VID:PID[:INDEX]"},
        // Another device's IDs: a hub, an MCP2221A. Never opened, never detached.
        {"ftdi:i:1d6b:0002", "1d6b:0002 is not an FTDI adapter"},
        {"ftdi:s:04d8:00dd:X", "04d8:00dd is not an FTDI adapter"},
        {"ftdi:d:1", "write a USB device as ftdi:d:BUS/DEVICE"},
        {"ftdi:d:0/4", "write a USB device as ftdi:d:BUS/DEVICE"},
        {"ftdi:d:1/256", "write a USB device as ftdi:d:BUS/DEVICE"},
        {"board:", "no serial port after 'board:'"},
#if defined(PMC10_HAVE_HIDRAW)
        {"mcp2221:", "write an MCP2221A as mcp2221 or mcp2221:/dev/hidrawN"},
        {"mcp2221:hidrawX", "write an MCP2221A as mcp2221 or mcp2221:/dev/hidrawN"},
        {"mcp2221x", "write an MCP2221A as mcp2221 or mcp2221:/dev/hidrawN"},
#endif
#if defined(PMC10_HAVE_GPIO)
        {"gpio:", "four lines are needed"},
        {"gpio:gpiochip0:0,1,2,3,4", "(found 5)"},
        {"gpio:gpiochip0:1,01,2,3", "line 01 is given twice"},
        {"gpio:GPIO17,GPIO27,GPIO17,GPIO23", "line GPIO17 is given twice"},
        {"gpio:17,27,22,23", "line offsets need a chip"},
        {"gpio::0,1,2,3", "no chip before ':'"},
        {"gpio:gpiochip0:0,1,,3", "an empty line"},
        {"gpio:gpiochip0:0,1,2,3;active-high", "unknown option 'active-high'"},
        {"gpio:gpiochip0:0,1,2,3;", "unknown option ''"},
        {"gpio:gpiochip0:0,1,2,99999999999999999999", "no such line"},
        {"gpio:gpiochip0:0,1,2,A_NAME_LONGER_THAN_THE_KERNEL_KEEPS", "no such line"},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--port", c.text, "rd", "menu"},
              {"-p", c.text, "pmcchannel", "5"},
              {"--port=" + c.text, "cable"}}) {
            portlib::recorder::clear();
            const EntryRun run = runEntryWith(args);
            EXPECT_EQ(run.status, ExitUsage);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err, "pmc10: cannot use port '" + c.text +
                                   "': " + run.err.substr(run.err.find("': ") + 3));
            EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
            EXPECT_EQ(writeCount(), 0);
        }
    }
}

#ifdef PMC10_HAVE_DIRECT_IO
TEST_F(RegistryTest, TheEdgesOfTheIoAddressesAreTakenWithoutOpeningAnything) {
    EXPECT_EQ(port::check("0x100"), "");
    EXPECT_EQ(port::check("0xfffc"), "");
}
#endif

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
        bool unprivileged;
        Status status;
        std::string reason;
        bool needsRoot;
    } cases[] = {
        {"sim", false, Status::Opened, "", false},
        // Not what the backend's check takes: refused before the backend tries it.
        {"parportX", false, Status::BadText, "a parallel port is parportN", false},
        {"recorder", false, Status::Opened, "", false},
        {node, false, Status::Unusable, "exists, but no parallel port or driver is behind it",
         true},
        {node, true, Status::Unusable,
         "Permission denied (add your user to the \"lp\" group, or run as root)", true},
#ifdef PMC10_HAVE_DIRECT_IO
        {"0x278", true, Status::Unusable, "needs root", false},
#endif
#ifdef PMC10_HAVE_LIBFTDI
        // No adapter has this serial number; the hex IDs with a leading 0 are not octal.
        {"ftdi:s:0403:6001:NO-SUCH-SERIAL", false, Status::Unusable,
         "no FTDI adapter 0403:6001 with serial number NO-SUCH-SERIAL is plugged in", false},
        {"ftdi:i:0x0403:0x6001:999", false, Status::Unusable,
         "there is no adapter 0403:6001 number 999", false},
#else
        {"ftdi:s:0403:6001:NO-SUCH-SERIAL", false, Status::Unusable, "built without libftdi1",
         false},
#endif
        // Nothing but a serial line is ever opened as a board.
        {"board:/dev/null", false, Status::BadText, "/dev/null is not a serial port", false},
        {"board:/dev/ptmx", false, Status::BadText, "is not a serial port", false},
        {"board:" + dir_ + "/file", false, Status::BadText, "is not a serial port", false},
        {"board:" + dir_ + "/missing", false, Status::Unusable, "No such file", false},
        {"board:" + line, false, Status::Unusable, "no pmc10 board answers on " + line, false},
#ifdef PMC10_HAVE_GPIO
        {"gpio:" + dir_ + "/gpiochip9:0,1,2,3", false, Status::Unusable, "no GPIO chip", false},
        {"gpio:" + dir_ + "/file:0,1,2,3", false, Status::Unusable, "is not a GPIO chip", false},
#endif
#ifdef PMC10_HAVE_HIDRAW
        {"mcp2221:/dev/null", false, Status::Unusable, "/dev/null is not an MCP2221A's hidraw node",
         false},
        {"mcp2221:" + dir_ + "/missing", false, Status::Unusable, "No such file or directory",
         false},
#endif
    };
    std::vector<std::string> covered;
    for (const auto& c : cases) {
        if (c.needsRoot && !root) {
            continue;
        }
        SCOPED_TRACE(c.text);
        const Outcome outcome = openInChild(c.text, c.unprivileged);
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
