// The interactive prompt of pmc10-sim on a real terminal (a pty): completion, a line run,
// Ctrl-C during a line and at the prompt, Ctrl-D, the history file.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/SimTrace.h"

namespace {

class Prompt {
  public:
    explicit Prompt(const std::string& stateHome) {
        pid_ = forkpty(&fd_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
            execl(PMC10_SIM, "pmc10-sim", "-i", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Prompt() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(fd_);
    }
    void type(const std::string& keys) {
        ASSERT_EQ(write(fd_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    /// Everything shown from now until `needle` appears (at most 10 s), with the
    /// terminal's carriage returns and echoed ^C taken out.
    std::string until(const std::string& needle) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (seen_.find(needle) == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            char buffer[4096];
            if (poll(&p, 1, 100) > 0) {
                const ssize_t n = read(fd_, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                seen_.append(buffer, static_cast<std::size_t>(n));
            }
        }
        const std::size_t at = seen_.find(needle);
        std::string shown =
            seen_.substr(0, at == std::string::npos ? seen_.size() : at + needle.size());
        seen_.erase(0, shown.size());
        shown.erase(std::remove(shown.begin(), shown.end(), '\r'), shown.end());
        for (std::size_t c; (c = shown.find("^C")) != std::string::npos;) {
            shown.erase(c, 2);
        }
        return shown;
    }
    int exitStatus() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    int fd_ = -1;
    pid_t pid_ = -1;
    std::string seen_;
};

TEST(SimPrompt, CompletesRunsInterruptsAndKeepsHistory) {
    char home[] = "/tmp/pmc10-state-XXXXXX";
    ASSERT_NE(mkdtemp(home), nullptr);
    Prompt prompt(home);
    prompt.until("pmc10> ");
    prompt.type("editpa\t");
    EXPECT_NE(prompt.until("tch").find("tch"), std::string::npos)
        << "editpa completes to editpatch";
    prompt.type("\x15menu\r");
    EXPECT_EQ(traceOps(prompt.until("pmc10> ")), expectedTrace({0xFB}));

    // Ctrl-C while a long line strokes: the stroke in progress ends, the port is idle and
    // the prompt comes back.
    prompt.type("rd editpatchname enter enter enter\r");
    std::string during = prompt.until("sleep 15");
    prompt.type("\x03");
    during += prompt.until("pmc10> ");
    std::vector<int> codes;
    for (const std::string& op : traceOps(during)) {
        if (op.rfind("out 0x378 0x", 0) == 0 && op != "out 0x378 0xff") {
            codes.push_back(std::stoi(op.substr(12), nullptr, 16));
        }
    }
    EXPECT_LT(codes.size(), 10U) << during;
    std::vector<std::string> ops = traceOps(during);
    ops.insert(ops.begin(), "init");
    // No pause and no way back after an interrupt.
    EXPECT_EQ(ops, expectedTrace(codes)) << during;
    EXPECT_NE(during.find("pmc10: interrupted"), std::string::npos);
    EXPECT_EQ(during.find("ENTER"), std::string::npos) << "no way back is shown";

    prompt.type("abc\x03");  // clears the line
    prompt.until("pmc10> ");
    prompt.type("\x04");
    EXPECT_EQ(prompt.exitStatus(), 0);
    std::ifstream history(std::string(home) + "/pmc10/history");
    std::stringstream saved;
    saved << history.rdbuf();
    EXPECT_NE(saved.str().find("menu"), std::string::npos);
    EXPECT_EQ(saved.str().find("abc"), std::string::npos);
    EXPECT_EQ(std::system(("rm -rf " + std::string(home)).c_str()), 0);
}

}  // namespace
