#include "support/Subprocess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <utility>

namespace {

void closeIfOpen(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

/// Reads what is available on `fd` into `into`; closes it at end of file.
void drain(int& fd, std::string& into) {
    char buffer[65536];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
        closeIfOpen(fd);
    }
}

/// Waits for `child` to end (with `options` such as WNOHANG); false while it runs. Its
/// peak memory goes into the result too.
bool ended(pid_t child, RunResult& result, int options = 0) {
    int status = 0;
    rusage usage{};
    pid_t got;
    while ((got = wait4(child, &status, options, &usage)) < 0 && errno == EINTR) {
    }
    if (got == 0) {
        return false;
    }
    result.peakKiB = usage.ru_maxrss;
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return true;
}

/// An argument vector for execv(): `first`, `args`, then the null pointer; the texts stay
/// where they are.
std::vector<char*> argvOf(const std::string& first, const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(first.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

}  // namespace

RunResult runInChild(const std::function<int()>& body, const RunOptions& options) {
    using Stdout = RunOptions::Stdout;
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe(inPipe) != 0 || pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        return {};
    }
    int inFd = inPipe[1], outFd = outPipe[0], errFd = errPipe[0];
    if (options.stdoutMode == Stdout::BrokenPipe) {
        closeIfOpen(outFd);  // nobody will ever read it
    }

    const pid_t child = fork();
    if (child == 0) {
        signal(SIGPIPE, SIG_DFL);
        for (const int number : options.ignoredSignals) {
            signal(number, SIG_IGN);
        }
        if (options.ownProcessGroup) {
            setpgid(0, 0);
        }
        if (options.addressSpaceLimit != 0) {
            const rlimit limit{options.addressSpaceLimit, options.addressSpaceLimit};
            setrlimit(RLIMIT_AS, &limit);
        }
        options.closeStdin ? close(0) : dup2(inPipe[0], 0);
        const Stdout mode = options.stdoutMode;  // a pipe, none, or /dev/full
        const int out = mode == Stdout::Closed ? -1
                        : mode == Stdout::Full ? open("/dev/full", O_WRONLY | O_CLOEXEC)
                                               : outPipe[1];
        out >= 0 ? dup2(out, 1) : close(1);
        dup2(errPipe[1], 2);
        for (int fd : {inPipe[0], inPipe[1], outFd, outPipe[1], errPipe[0], errPipe[1]}) {
            close(fd);
        }
        _exit(body());
    }
    for (int fd : {inPipe[0], outPipe[1], errPipe[1]}) {
        close(fd);
    }
    fcntl(inFd, F_SETFL, O_NONBLOCK);
    signal(SIGPIPE, SIG_IGN);

    RunResult result;
    std::size_t written = 0;
    int silentFd = -1;
    if (options.silentStdin) {
        std::swap(inFd, silentFd);  // held open, never written, closed when the child ends
    } else if (options.input.empty()) {
        closeIfOpen(inFd);
    }
    int stalledErr = -1;
    while (outFd >= 0 || errFd >= 0) {
        if (errFd >= 0 && result.err.size() >= options.stderrReadLimit) {
            std::swap(errFd, stalledErr);  // left unread from now on
        }
        pollfd fds[3] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {inFd, POLLOUT, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[0].revents != 0) {
            drain(outFd, result.out);
        }
        if (fds[1].revents != 0) {
            const std::size_t before = result.err.size();
            drain(errFd, result.err);
            if (options.onStderr && result.err.size() > before) {
                options.onStderr(child, result.err);
            }
        }
        if (fds[2].revents != 0) {
            const ssize_t n =
                write(inFd, options.input.data() + written, options.input.size() - written);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
            }
            if (n < 0 || written == options.input.size()) {
                closeIfOpen(inFd);
            }
        }
    }
    closeIfOpen(inFd);
    closeIfOpen(silentFd);
    ended(child, result);
    closeIfOpen(stalledErr);
    return result;
}

RunResult runProcess(const std::string& path, const std::vector<std::string>& args,
                     const RunOptions& options) {
    const std::vector<char*> argv = argvOf(options.argv0.empty() ? path : options.argv0, args);
    return runInChild(
        [&] {
            if (options.beforeExec) {
                options.beforeExec();
            }
            execv(path.c_str(), argv.data());
            return 127;
        },
        options);
}

RunResult runOnTerminal(const std::string& path, const std::vector<std::string>& args,
                        const std::vector<TerminalStep>& steps) {
    const std::vector<char*> argv = argvOf(path, args);
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    RunResult result;
    std::size_t from = 0;
    // Reads what the terminal shows until `text` appears after `from`, or for `ms`.
    auto showUntil = [&](const std::string& text, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::size_t at;
        while ((at = result.out.find(text, from)) == std::string::npos &&
               std::chrono::steady_clock::now() < end) {
            pollfd p{terminal, POLLIN, 0};
            char c = 0;
            if (poll(&p, 1, 50) > 0 && read(terminal, &c, 1) == 1 && c != '\r') {
                result.out += c;
            }
        }
        from = at == std::string::npos ? from : at + text.size();
        return at != std::string::npos;
    };
    for (const TerminalStep& step : steps) {
        if (!showUntil(step.waitFor, 10000)) {
            ADD_FAILURE() << "never shown: " << step.waitFor << "\nshown:\n" << result.out;
            break;
        }
        EXPECT_EQ(write(terminal, step.keys.data(), step.keys.size()),
                  static_cast<ssize_t>(step.keys.size()));
        if (step.signal != 0) {
            kill(child, step.signal);
        }
    }
    // The rest of what it shows, until it ends (killed after 10 s). An end of input
    // (Ctrl-D) typed in the moment before the line editor takes the terminal over turns
    // into a NUL byte, which the line editor then holds in the line, where Ctrl-D deletes
    // instead of ending: so every 2 s the line is emptied (Ctrl-U) and Ctrl-D typed again.
    const bool endsInput = !steps.empty() && steps.back().keys == "\x04";
    for (int waited = 0; !ended(child, result, WNOHANG); waited += 50) {
        if (waited > 10000) {
            kill(child, SIGKILL);
        }
        if (endsInput && waited > 0 && waited % 2000 == 0) {
            EXPECT_EQ(write(terminal, "\x15\x04", 2), 2);
        }
        showUntil(std::string(1, '\0'), 50);
    }
    pollfd p{terminal, POLLIN, 0};
    for (char c = 0; poll(&p, 1, 0) > 0 && read(terminal, &c, 1) == 1;) {
        result.out += c == '\r' ? "" : std::string(1, c);
    }
    close(terminal);
    return result;
}
