// Measures how close pmc10-sim's key timing comes to the ideal schedule, from its own
// trace: every wait's overshoot (key holds, idle gaps, the pause before the way back),
// the whole run of "pmcchannel 16" against 21 x 30 ms + 500 ms, with the machine idle and
// with both cores busy; then start-up time and peak memory. Fails (status 1) if any hold
// or gap is shorter than 15.000 ms.
//
// Usage: pmc10_timing_bench [path-to-pmc10-sim] [runs]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr long kKeyDelayUs = 15000;
constexpr double kIdealChannel16Us = 21 * 2 * kKeyDelayUs + 500000.0;

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
    int errPipe[2];
    if (pipe(errPipe) != 0) {
        std::perror("pipe");
        std::exit(2);
    }
    std::vector<char*> argv{const_cast<char*>(sim.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    // Start-up counts from the moment the child calls exec, which it notes in a shared page.
    auto* execAt = static_cast<double*>(
        mmap(nullptr, sizeof(double), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    const pid_t child = fork();
    if (child == 0) {
        dup2(errPipe[1], 2);
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, 0);
        dup2(devNull, 1);
        close(errPipe[0]);
        close(errPipe[1]);
        *execAt = nowMs();
        execv(sim.c_str(), argv.data());
        _exit(127);
    }
    close(errPipe[1]);
    Run run;
    char buffer[8192];
    for (ssize_t n; (n = read(errPipe[0], buffer, sizeof buffer)) > 0;) {
        run.trace.append(buffer, static_cast<std::size_t>(n));
        if (run.startupMs < 0 && run.trace.find(" out ") != std::string::npos) {
            run.startupMs = nowMs() - *execAt;
        }
    }
    close(errPipe[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.peakKiB = usage.ru_maxrss;
    munmap(execAt, sizeof(double));
    return run;
}

/// The overshoot of every wait in a trace, by kind, and the span of the port writes.
/// Trace times are whole microseconds (three decimals of a millisecond); keeping them as
/// integers makes "exactly 15.000 ms" exact.
struct Waits {
    std::vector<long> hold, gap, pause;  // overshoot in microseconds
    long firstWriteUs = -1, lastWriteUs = -1;
};

long micros(const std::string& stamp) {
    const std::size_t dot = stamp.find('.');
    return std::stol(stamp.substr(0, dot)) * 1000 + std::stol(stamp.substr(dot + 1));
}

void collect(const std::string& trace, Waits& waits) {
    static const std::regex kLine(
        R"(^\[ *([0-9.]+)\] (out 0x378 0x([0-9a-f]{2})|sleep (\d+)|init)$)");
    std::istringstream lines(trace);
    long lastWrite = -1, asked = -1;
    bool heldCode = false;
    std::vector<long>* kind = nullptr;
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, kLine)) {
            continue;
        }
        const long t = micros(m[1]);
        if (m[3].matched) {
            if (kind != nullptr) {
                kind->push_back(t - lastWrite - asked);
                kind = nullptr;
            }
            if (waits.firstWriteUs < 0) {
                waits.firstWriteUs = t;
            }
            waits.lastWriteUs = t;
            lastWrite = t;
            heldCode = m[3] != "ff";
        } else if (m[4].matched) {
            asked = std::stol(m[4]) * 1000;
            kind = asked > kKeyDelayUs ? &waits.pause : heldCode ? &waits.hold : &waits.gap;
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
    printRow("key hold (15 ms)", waits.hold);
    printRow("idle gap (15 ms)", waits.gap);
    printRow("pause (500 ms)", waits.pause);
    std::vector<long> all = waits.hold;
    all.insert(all.end(), waits.gap.begin(), waits.gap.end());
    printRow("holds and gaps", all);
    std::printf("  whole run / ideal (1.130 s): median %.5f, max %.5f\n", percentile(ratios, 0.5),
                percentile(ratios, 1.0));
    return all.empty() || percentile(all, 0) >= 0;
}

/// The holds and gaps measured at an emulated adapter by its end-to-end test (lines that
/// begin "hold <us>" or "gap <us>", from the device's own clock): one row each, when the test ran.
void deviceRows(const std::string& label, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        std::printf("  %s: no measurement (run its emulated test first: %s)\n", label.c_str(),
                    path.c_str());
        return;
    }
    std::vector<long> hold, gap;
    char line[256];
    char kind[16];
    long micros = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::sscanf(line, "%15s %ld", kind, &micros) != 2) {
            continue;
        }
        if (std::string(kind) == "hold") {
            hold.push_back((micros - kKeyDelayUs) * 1000);
        } else if (std::string(kind) == "gap") {
            gap.push_back((micros - kKeyDelayUs) * 1000);
        }
    }
    std::fclose(file);
    printRow((label + " hold").c_str(), hold);
    printRow((label + " gap").c_str(), gap);
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
