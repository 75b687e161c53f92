// The Linux port library's reasons for not opening the port, each produced for real: a
// missing device, a device the user may not open, and a device that is no parallel port.
// This build reads a device path of the test's own and never tries direct I/O.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "portlib/PortLibrary.h"

namespace {

const std::string kDevice = PMC10_PARPORT_DEVICE;

struct Outcome {
    bool opened;
    std::string reason;
};

/// Initialises the library in a child process (its state is per process), optionally as
/// an unprivileged user, and reports what it said.
Outcome initializeInChild(bool unprivileged) {
    int channel[2];
    EXPECT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        const bool opened = portlib::initialize();
        const std::string text = (opened ? "1" : "0") + portlib::failureReason();
        const ssize_t written = write(channel[1], text.data(), text.size());
        _exit(written == static_cast<ssize_t>(text.size()) ? 0 : 4);
    }
    close(channel[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return {!text.empty() && text[0] == '1', text.empty() ? "" : text.substr(1)};
}

class LinuxPortTest : public ::testing::Test {
  protected:
    void SetUp() override { unlink(kDevice.c_str()); }
    void TearDown() override { unlink(kDevice.c_str()); }
    void makeDevice(mode_t mode) {
        const int fd = open(kDevice.c_str(), O_CREAT | O_WRONLY, mode);
        ASSERT_GE(fd, 0);
        close(fd);
        chmod(kDevice.c_str(), mode);
    }
};

TEST_F(LinuxPortTest, MissingDevice) {
    const Outcome outcome = initializeInChild(false);
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.reason, "pmc10: no parallel port found (" + kDevice +
                                  " is missing; load the parport_pc and ppdev modules)");
}

TEST_F(LinuxPortTest, DeviceTheUserMayNotOpen) {
    makeDevice(geteuid() == 0 ? 0600 : 0000);
    const Outcome outcome = initializeInChild(true);
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.reason, "pmc10: cannot open " + kDevice +
                                  ": Permission denied (add your user to the \"lp\" group, or "
                                  "run as root)");
}

TEST_F(LinuxPortTest, DeviceThatIsNoParallelPort) {
    makeDevice(0666);
    const Outcome outcome = initializeInChild(false);
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.reason,
              "pmc10: cannot claim " + kDevice + ": Inappropriate ioctl for device");
}

TEST_F(LinuxPortTest, WritesWithoutAnOpenPortDoNothing) {
    portlib::write(0x378, 0xFB, 1);  // would kill the process if it reached an outb
    SUCCEED();
}

}  // namespace
