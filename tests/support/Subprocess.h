// Runs an executable as a user would: given arguments, standard input, and standard
// output either collected, closed or full; collects what it writes and how it ended.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

/// How a child process is started.
struct RunOptions {
    /// Written to the child's standard input, which is then closed.
    std::string input;
    /// Start the child with no standard input at all (descriptor 0 closed).
    bool closeStdin = false;
    /// Keep standard input open, sending nothing, until the child ends (a silent terminal).
    bool silentStdin = false;
    /// Standard output: collected, closed, /dev/full, or a pipe nobody reads (SIGPIPE).
    enum class Stdout { Collect, Closed, Full, BrokenPipe } stdoutMode = Stdout::Collect;
    /// The child's argv[0]; the executable's path when empty.
    std::string argv0;
    /// Signals the child starts with ignored (as nohup or a script's background job does).
    std::vector<int> ignoredSignals;
    /// Start the child as the leader of a process group of its own.
    bool ownProcessGroup = false;
    /// An address-space limit for the child in bytes, or 0.
    unsigned long addressSpaceLimit = 0;
    /// Standard error is read up to this many bytes, then left unread (a reader that
    /// stalls) until the child ends.
    std::size_t stderrReadLimit = static_cast<std::size_t>(-1);
    /// Called whenever the child has written to standard error, with all it wrote so far.
    std::function<void(pid_t child, const std::string& errSoFar)> onStderr;
    /// Called in the child just before it executes `path`.
    std::function<void()> beforeExec;
};

/// What a child process wrote and how it ended.
struct RunResult {
    std::string out;
    std::string err;
    /// Its exit status, or -1 when a signal ended it.
    int exitCode = -1;
    /// The signal that ended it, or 0.
    int signal = 0;
    /// Its peak resident memory in KiB.
    long peakKiB = 0;
};

/// Runs `path` with `args` and waits for it to end.
RunResult runProcess(const std::string& path, const std::vector<std::string>& args,
                     const RunOptions& options = {});

/// One step of a conversation on a terminal: once the screen has shown `waitFor` (after
/// the previous step's), type `keys`, then send `signal` to the child if it is not 0.
struct TerminalStep {
    std::string waitFor;
    std::string keys;
    int signal = 0;
};

/// Runs `path` on a terminal of its own (a pty, its controlling terminal), going through
/// `steps`; a step whose text is not shown within 10 s fails the test. `out` is all it
/// showed, carriage returns taken out; the child is killed if it outlives the steps by
/// 10 s.
RunResult runOnTerminal(const std::string& path, const std::vector<std::string>& args,
                        const std::vector<TerminalStep>& steps);

/// Runs `body` in a child process of this one (for state that is per process), its
/// return value the exit status, and waits for it to end.
RunResult runInChild(const std::function<int()>& body, const RunOptions& options = {});
