// Bad input never crashes or hangs, and every run that wrote to the port leaves it idle:
// odd words, huge words, thousands of words, files and prompts that are not what they
// should be, and input that never comes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "support/SimTrace.h"
#include "support/Subprocess.h"
#include "support/TextLines.h"

namespace {

void expectCleanEnd(const RunResult& run, int status) {
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, status);
    const std::vector<std::string> ops = traceOps(run.err);
    if (ops.size() > 1) {
        EXPECT_EQ(ops.back(), "out 0x378 0xff");
    }
}

TEST(BadInput, TenThousandWords) {
    std::vector<std::string> args{"menu"};
    args.insert(args.end(), 9998, "x");
    args.push_back("next");
    const RunResult run = runProcess(PMC10_SIM, args);
    expectCleanEnd(run, 0);
    std::string warnings;
    EXPECT_EQ(traceOps(run.err, &warnings), expectedTrace({0xFB, 0xFB}));
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 9998);
}

TEST(BadInput, EveryByteValueInAWord) {
    std::string word, upper;
    for (int byte = 1; byte <= 255; ++byte) {
        word += static_cast<char>(byte);
        upper += static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 32 : byte);
    }
    const RunResult run =
        runProcess(PMC10_SIM, {"r", word, "0x" + std::string(100000, '0') + "fb"});
    expectCleanEnd(run, 0);
    std::string warnings;
    EXPECT_EQ(traceOps(run.err, &warnings), expectedTrace({0xFB, -1, 0xF5, 0xF3}));
    EXPECT_EQ(warnings, "WARNING: unknown command: <" + upper + ">\n");
}

TEST(BadInput, HugeWordsOnTheCommandLine) {
    // Linux caps one argument at 128 KiB.
    const std::string big(120000, 'q');
    const RunResult onLine = runProcess(PMC10_SIM, {big, big});
    expectCleanEnd(onLine, 0);
    std::string warnings;
    traceOps(onLine.err, &warnings);
    const std::string warning = "WARNING: unknown command: <" + std::string(120000, 'Q') + ">\n";
    EXPECT_EQ(warnings, warning + warning);
}

TEST(BadInput, FilesAndPromptInputThatAreNotWhatTheyShouldBe) {
    const std::string dir = tempFolder();
    const std::string line(64 * 1024, 'a');
    const std::string blank(16 * 1024 * 1024 - 5, '\n');
    for (const auto& file : std::vector<std::pair<const char*, std::string>>{
             {"edge-line", "menu\n" + line + "\n"},
             {"long-line", "menu\n" + line + "a\n"},
             {"nul", std::string("menu\nenter\nmenu\0x\n", 18)},
             {"edge-size", blank + "menu\n"},
             {"too-big", blank + "menu\n\n"}}) {
        std::ofstream(dir + "/" + file.first, std::ios::binary) << file.second;
    }
    // Each case is a shell command line: "$0" is the simulator, "$1" the folder above.
    const struct {
        const char* command;
        std::string input;
        int status;
        const char* message;  // on standard error; empty: nothing from the tool
    } cases[] = {
        {"\"$0\" -f /nonexistent/pmc10", "", 2, "No such file or directory"},
        {"\"$0\" -f \"$1\"", "", 2, "a directory"},
        {"\"$0\" -f /dev/zero", "", 2, ":1: NUL byte"},
        {"\"$0\" -f /dev/ptmx", "", 2, "/dev/ptmx: a device, not a file"},  // never opened
        {"\"$0\" -f \"$1/nul\"", "", 2, ":3: NUL byte"},
        {"\"$0\" -f \"$1/long-line\"", "", 2, ":2: line longer than 64 KiB"},
        {"\"$0\" -f \"$1/edge-line\"", "", 0, "WARNING: unknown command: <AAAA"},
        {"\"$0\" -f \"$1/too-big\"", "", 2, "larger than 16 MiB"},
        {"\"$0\" -f \"$1/edge-size\" 2>&1 >/dev/null | tail -c 15 >&2", "", 0, "out 0x378 0xff"},
        {"\"$0\" -f /proc/self/mem", "", 2, "/proc/self/mem: Input/output error"},
        {"\"$0\" -f - </", "", 2, "<stdin>: Is a directory"},
        {"\"$0\" -f - 0>\"$1/out\"", "", 2, "<stdin>: Bad file descriptor"},
        {"\"$0\" -n -i </dev/zero", "", 2, "<stdin>: line longer than 64 KiB"},
        {"\"$0\" -n -i >/dev/null", std::string(64 * 1024 + 1, 'a'), 2,
         "<stdin>: line longer than 64 KiB"},
        {"\"$0\" -n -i >/dev/null", std::string(64 * 1024, 'a') + "\n", 0,
         "WARNING: unknown command: <AAAA"},
        // Input that never comes: a signal still ends the run.
        {"mkfifo \"$1/fifo\"; \"$0\" -f \"$1/fifo\" & sleep 0.2; kill $!; wait $!", "", 143, ""},
        {"sleep 1 | { exec 3<&0; \"$0\" -f /proc/self/fd/3 <&3 & sleep 0.2; kill $!; wait $!; }",
         "", 143, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        RunOptions options;
        options.input = c.input;
#if !defined(__SANITIZE_ADDRESS__)
        options.addressSpaceLimit = 256UL << 20;  // memory grows with commands, not lines
#endif
        std::string command = c.command;
        if (c.status == 2 && command.rfind("\"$0\" -f ", 0) == 0) {
            // A dry run refuses the same files, short of opening the port.
            const RunResult dry = runProcess(
                "/bin/sh", {"-c", "\"$0\" -n --file=" + command.substr(8), PMC10_SIM, dir},
                options);
            EXPECT_EQ(dry.exitCode, 2);
            EXPECT_NE(dry.err.find(c.message), std::string::npos) << dry.err.substr(0, 300);
        }
        const RunResult run = runProcess("/bin/sh", {"-c", command, PMC10_SIM, dir}, options);
        EXPECT_EQ(run.exitCode, c.status);
        std::string lines;
        traceOps(run.err, &lines);
        lines.erase(std::min(lines.find("-----"), lines.size()));  // LeakSanitizer's report
        if (*c.message == '\0') {
            EXPECT_EQ(run.err.find("pmc10"), std::string::npos) << run.err;
        } else {
            EXPECT_NE(lines.find(c.message), std::string::npos) << run.err.substr(0, 300);
        }
        if (c.status == 2) {
            EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines.substr(0, 300);
            EXPECT_EQ(lines.rfind("pmc10: ", 0), 0U) << lines.substr(0, 300);
            EXPECT_TRUE(traceOps(run.err).empty()) << "the port was opened";
        }
    }
    EXPECT_EQ(std::system(("rm -rf " + dir).c_str()), 0);
}

}  // namespace
