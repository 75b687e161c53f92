// Measures how close pmc10-sim's key timing comes to the ideal schedule, from its own
// trace: every wait's overshoot (key holds, idle gaps, the pause before the way back),
// the whole run of "pmcchannel 16" against 21 x 30 ms + 500 ms, with the machine idle and
// with both cores busy; then start-up time and peak memory. Fails (status 1) if any hold
// or gap is shorter than 15.000 ms.
//
// Usage: pmc10_timing_bench [path-to-pmc10-sim] [runs]
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "keypad/StrokeShape.h"
#include "support/SimTrace.h"
#include "support/Subprocess.h"

namespace {

constexpr long kKeyDelayUs = stroke_shape::kKeyDelayMs * 1000L;
constexpr long kPauseUs = stroke_shape::kReturnPauseMs * 1000L;
constexpr double kIdealChannel16Us = 21 * 2 * kKeyDelayUs + static_cast<double>(kPauseUs);

double nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

/// One run of the simulator: its trace, when its first port write arrived, its memory.
struct Run {
    std::string trace;
    double startupMs = -1;
    long peakKiB = 0;
};

Run runSim(const std::string& sim, const std::vector<std::string>& args) {
    // Start-up counts from the moment the child calls exec, which it notes in a shared page.
    auto* execAt = static_cast<double*>(
        mmap(nullptr, sizeof(double), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    Run run;
    RunOptions options;
    options.beforeExec = [execAt] { *execAt = nowMs(); };
    options.onStderr = [&run, execAt](pid_t, const std::string& err) {
        if (run.startupMs < 0 && err.find(" out ") != std::string::npos) {
            run.startupMs = nowMs() - *execAt;
        }
    };
    const RunResult result = runProcess(sim, args, options);
    run.trace = result.err;
    run.peakKiB = result.peakKiB;
    munmap(execAt, sizeof(double));
    return run;
}

/// The overshoot of every wait in a trace, by kind, and the span of the port writes. A
/// wait is a stretch of one value on the lines; the pause shares its stretch of idle with
/// the gap before it, and its overshoot is over both.
/// Trace times are whole microseconds (three decimals of a millisecond); keeping them as
/// integers makes "exactly 15.000 ms" exact.
struct Waits {
    std::vector<long> hold, gap, pause;  // overshoot in microseconds
    long firstWriteUs = -1, lastWriteUs = -1;
};

void collect(const std::string& trace, Waits& waits) {
    for (const WaitSpan& span : waitSpans(trace)) {
        const long asked = span.askedMs * 1000;
        std::vector<long>& kind = asked > kKeyDelayUs ? waits.pause
                                  : span.hold         ? waits.hold
                                                      : waits.gap;
        kind.push_back(span.lastedMicros - asked);
    }
    for (const TraceLine& line : parseTrace(trace)) {
        if (line.op.rfind("out ", 0) == 0) {
            waits.firstWriteUs = waits.firstWriteUs < 0 ? line.micros : waits.firstWriteUs;
            waits.lastWriteUs = line.micros;
        }
    }
}

template <typename T>
T percentile(std::vector<T> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const std::size_t index =
        std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())));
    return v[index];
}

void printRow(const char* name, const std::vector<long>& v) {
    std::printf("  %-22s %6zu %9.3f %9.3f %9.3f %9.3f\n", name, v.size(), percentile(v, 0) / 1e3,
                percentile(v, 0.5) / 1e3, percentile(v, 0.99) / 1e3, percentile(v, 1.0) / 1e3);
}

/// Two processes that keep both cores busy until stopped.
std::vector<pid_t> startLoad() {
    std::vector<pid_t> load;
    for (int i = 0; i < 2; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            for (volatile unsigned long spin = 0;; spin = spin + 1) {
            }
        }
        load.push_back(child);
    }
    return load;
}

void stopLoad(const std::vector<pid_t>& load) {
    for (const pid_t child : load) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
}

/// Runs "pmcchannel 16" `runs` times; prints the overshoot table; false if a hold or gap
/// was ever shorter than the key delay.
bool measure(const std::string& sim, int runs, const char* title, Waits& waits,
             std::vector<double>& ratios) {
    for (int i = 0; i < runs; ++i) {
        Waits one;
        collect(runSim(sim, {"pmcchannel", "16"}).trace, one);
        ratios.push_back(static_cast<double>(one.lastWriteUs - one.firstWriteUs) /
                         kIdealChannel16Us);
        for (auto list : {&Waits::hold, &Waits::gap, &Waits::pause}) {
            (waits.*list).insert((waits.*list).end(), (one.*list).begin(), (one.*list).end());
        }
    }
    std::printf("\n%s: pmcchannel 16, %d runs; overshoot per wait in ms\n", title, runs);
    std::printf("  %-22s %6s %9s %9s %9s %9s\n", "wait", "count", "min", "median", "p99", "max");
    const std::string key = " (" + std::to_string(stroke_shape::kKeyDelayMs) + " ms)";
    printRow(("key hold" + key).c_str(), waits.hold);
    printRow(("idle gap" + key).c_str(), waits.gap);
    printRow(("pause (" + std::to_string(stroke_shape::kReturnPauseMs) + " ms)").c_str(),
             waits.pause);
    std::vector<long> all = waits.hold;
    all.insert(all.end(), waits.gap.begin(), waits.gap.end());
    printRow("holds and gaps", all);
    std::printf("  whole run / ideal (%.3f s): median %.5f, max %.5f\n", kIdealChannel16Us / 1e6,
                percentile(ratios, 0.5), percentile(ratios, 1.0));
    return all.empty() || percentile(all, 0) >= 0;
}

/// The holds and gaps measured at an emulated adapter by its end-to-end test (lines that
/// begin "hold <us>", "gap <us>" or "pause <us>", from the device's own clock): a row
/// each, when the test ran. A gap as long as the pause before a way back is that pause,
/// not a gap; one in between is the time between two runs.
void deviceRows(const std::string& label, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        std::printf("  %s: no measurement (run its emulated test first: %s)\n", label.c_str(),
                    path.c_str());
        return;
    }
    std::vector<long> hold, gap, pause;
    char line[256];
    char word[16];
    long micros = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::sscanf(line, "%15s %ld", word, &micros) != 2) {
            continue;
        }
        const std::string kind = word;
        if (kind == "hold") {
            hold.push_back(micros - kKeyDelayUs);
        } else if (kind == "pause" || (kind == "gap" && micros >= kPauseUs)) {
            pause.push_back(micros - kPauseUs);
        } else if (kind == "gap" && micros < (kKeyDelayUs + kPauseUs) / 2) {
            gap.push_back(micros - kKeyDelayUs);
        }  // else the time between two runs, neither
    }
    std::fclose(file);
    printRow((label + " hold").c_str(), hold);
    printRow((label + " gap").c_str(), gap);
    printRow((label + " pause").c_str(), pause);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string sim = argc > 1 ? argv[1] : PMC10_SIM;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 10;

    Waits idle, busy;
    std::vector<double> idleRatios, busyRatios;
    bool ok = measure(sim, runs, "Idle machine", idle, idleRatios);
    const std::vector<pid_t> load = startLoad();
    ok = measure(sim, runs, "Both cores busy", busy, busyRatios) && ok;
    stopLoad(load);

    std::vector<double> startup;
    long peakKiB = 0;
    for (int i = 0; i < 20; ++i) {
        const Run run = runSim(sim, {"menu"});
        startup.push_back(run.startupMs);
        peakKiB = std::max(peakKiB, run.peakKiB);
    }
    std::printf("\nStart-up, exec to first port write (20 runs, ms): median %.3f, max %.3f\n",
                percentile(startup, 0.5), percentile(startup, 1.0));
    std::printf("Peak resident memory: %.2f MiB\n", static_cast<double>(peakKiB) / 1024.0);

#ifdef PMC10_DEVICE_TIMINGS
    // "label=path|label=path": adapters measured at the emulated device, not on this clock.
    std::printf("\nAt emulated devices (their last end-to-end run); overshoot in ms\n");
    std::printf("  %-22s %6s %9s %9s %9s %9s\n", "wait", "count", "min", "median", "p99", "max");
    std::istringstream devices(PMC10_DEVICE_TIMINGS);
    for (std::string entry; std::getline(devices, entry, '|');) {
        const std::size_t at = entry.find('=');
        deviceRows(entry.substr(0, at), entry.substr(at + 1));
    }
#endif
    if (!ok) {
        std::printf("\nFAIL: a hold or gap was shorter than 15.000 ms\n");
        return 1;
    }
    return 0;
}
