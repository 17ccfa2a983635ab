#include "BenchReport.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <sys/utsname.h>
#include <thread>

namespace zov::bench {

void Collector::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        Measurement& measurement = measurements_[run.run_name.function_name];
        if (run.error_occurred) {
            measurement.error = run.error_message;
            continue;
        }
        const double ms = run.GetAdjustedRealTime() *
                          benchmark::GetTimeUnitMultiplier(run.time_unit) /
                          benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond);
        if (run.aggregate_name == "median") {
            measurement.medianMs = ms;
            for (const auto& [name, counter] : run.counters)
                measurement.counters[name] = counter.value;
        } else if (run.aggregate_name == "stddev") {
            measurement.stddevMs = ms;
        } else if (run.run_type == Run::RT_Iteration) {
            ++measurement.runs;
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

namespace {

std::string firstLineStartingWith(const char* path, const std::string& prefix) {
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with(prefix)) {
            const size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    }
    return "unknown";
}

std::string commandOutput(const char* command) {
    std::string output;
    if (FILE* pipe = ::popen(command, "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == ' '))
        output.pop_back();
    return output.empty() ? "not found" : output;
}

std::string format(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

class Report {
public:
    explicit Report(const std::map<std::string, Measurement>& measurements)
        : measurements_(measurements) {}

    const Measurement* find(const std::string& name) const {
        const auto found = measurements_.find(name);
        return found == measurements_.end() || !found->second.error.empty() ? nullptr
                                                                            : &found->second;
    }
    double median(const std::string& name) const {
        const Measurement* measurement = find(name);
        return measurement ? measurement->medianMs : NAN;
    }
    double counter(const std::string& name, const std::string& counterName) const {
        const Measurement* measurement = find(name);
        if (!measurement)
            return NAN;
        const auto found = measurement->counters.find(counterName);
        return found == measurement->counters.end() ? NAN : found->second;
    }
    // "median ± stddev ms (n runs)", or why it is missing.
    std::string time(const std::string& name) const {
        const auto found = measurements_.find(name);
        if (found == measurements_.end())
            return "not measured";
        if (!found->second.error.empty())
            return "failed: " + found->second.error;
        return format(found->second.medianMs, 2) + " ± " + format(found->second.stddevMs, 2) +
               " ms (" + std::to_string(found->second.runs) + " runs)";
    }

private:
    const std::map<std::string, Measurement>& measurements_;
};

std::string ratio(double value) {
    return std::isnan(value) ? "n/a" : format(value, 2) + "x";
}

std::string verdict(bool met) {
    return met ? "met" : "**not met**";
}

} // namespace

void writeReport(const std::string& path, bool smoke,
                 const std::map<std::string, Measurement>& measurements,
                 const std::vector<CommandTiming>& commands) {
    const Report report(measurements);
    std::ostringstream out;
    utsname system{};
    ::uname(&system);
    char date[64];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));

    out << "# Benchmark results\n\n";
    if (smoke)
        out << "**Smoke run with tiny sizes: these numbers only show that the suite works.**\n\n";
    out << "Written by `zov-bench` (`bench/run.sh`) on " << date << ".\n\n"
        << "| Machine | |\n|---|---|\n"
        << "| CPU | " << firstLineStartingWith("/proc/cpuinfo", "model name") << " |\n"
        << "| Cores | " << std::thread::hardware_concurrency() << " |\n"
        << "| Memory | " << firstLineStartingWith("/proc/meminfo", "MemTotal") << " |\n"
        << "| Kernel | " << system.sysname << ' ' << system.release << " |\n"
        << "| JavaScriptCore | " << ZOV_JSC_VERSION << " |\n"
        << "| Node.js | " << commandOutput("node --version 2>/dev/null") << " |\n\n"
        << "Times are medians over repeated runs, with their standard deviation; ratios are "
           "taken between medians of this run.\n\n";

    const double processFloor = report.median("cold/process floor");
    const double engineFloor = report.median("cold/engine floor");
    const double cold = report.median("cold/runner");
    const double node = report.median("cold/Node.js vm peer");
    out << "## 1. Cold call\n\nThe host starts the program, writes a trivial request (a method "
           "that returns a small object), reads the result line and reaps the process.\n\n"
        << "| Program | Time | vs engine floor |\n|---|---|---|\n";
    for (const auto& [label, name] :
         {std::pair{"process floor (a native program that answers at once)", "cold/process floor"},
          std::pair{"engine floor (context, warm-up, one expression; no confinement, no "
                    "protocol)",
                    "cold/engine floor"},
          std::pair{"**ZovPluginHost**", "cold/runner"},
          std::pair{"Node.js `vm` peer (`bench/node-peer.js`)", "cold/Node.js vm peer"}})
        out << "| " << label << " | " << report.time(name) << " | "
            << ratio(report.median(name) / engineFloor) << " |\n";
    out << "\nThe runner's cost over the engine floor (confinement, request, protocol): "
        << format(cold - engineFloor, 2) << " ms; of that, the confinement (timed alone, in a "
        << "fresh process each time): " << report.time("cold/confinement")
        << ". Over the process floor: " << format(cold - processFloor, 2) << " ms.\n\n";
    if (!commands.empty()) {
        out << "The same commands as whole processes timed by hyperfine (shell start "
               "subtracted), stdin from a file:\n\n| Command | Time |\n|---|---|\n";
        for (const CommandTiming& command : commands)
            out << "| " << command.name << " | " << format(command.medianMs, 2) << " ± "
                << format(command.stddevMs, 2) << " ms (" << command.runs << " runs) |\n";
        out << '\n';
    }

    const double warm = report.median("warm/runner");
    out << "## 2. Warm call\n\nThe same call on a runner that a pool started ahead of time, "
           "timed from the request's first byte to the result line.\n\n"
        << "| Measure | Value |\n|---|---|\n"
        << "| request → result line | " << report.time("warm/runner") << " |\n"
        << "| request → runner reaped | "
        << format(report.counter("warm/runner", "until reaped ms"), 2) << " ms |\n"
        << "| cold / warm | " << ratio(cold / warm) << " |\n"
        << "| Node.js peer (cold) / warm | " << ratio(node / warm) << " |\n\n";

    const double fetch = report.counter("fetch/runner", "us per round trip");
    const double pingPong = report.counter("fetch/pipe ping-pong", "us per round trip");
    out << "## 3. Fetch round trip\n\nA plugin makes fetches in a row and the host answers "
           "each at once, beside two processes passing one line back and forth over pipes.\n\n"
        << "| Measure | Per round trip |\n|---|---|\n"
        << "| plugin fetch through the runner and the client | " << format(fetch, 1) << " µs |\n"
        << "| native pipe ping-pong (`bench-process-floor --echo`) | " << format(pingPong, 1)
        << " µs |\n"
        << "| ratio | " << ratio(fetch / pingPong) << " |\n\n";

    const double floorRate = report.counter("payload/engine floor", "MB/s");
    const double inputRate = report.counter("payload/input returned as result", "MB/s");
    const double replyRate = report.counter("payload/fetch reply", "MB/s");
    out << "## 4. Payload throughput\n\nA large string in `input` returned as the result, and "
           "the same string in a fetch reply, end to end; beside the engine's own "
           "`JSON.parse` plus `JSON.stringify` of the same text in one context.\n\n"
        << "| Path | Time | MB/s | vs engine floor |\n|---|---|---|---|\n";
    for (const auto& [label, name, rate] :
         {std::tuple{"input returned as result", "payload/input returned as result", inputRate},
          std::tuple{"fetch reply", "payload/fetch reply", replyRate},
          std::tuple{"engine floor (JSON.parse + JSON.stringify)", "payload/engine floor",
                     floorRate}})
        out << "| " << label << " | " << report.time(name) << " | " << format(rate, 1) << " | "
            << ratio(rate / floorRate) << " |\n";

    const double trivialRss = report.counter("cold/runner", "peak RSS MiB");
    const double floorRss = report.counter("cold/engine floor", "peak RSS MiB");
    const double idleRss = report.counter("warm/runner", "idle RSS MiB");
    const double payloadRss = report.counter("payload/input returned as result", "peak RSS MiB");
    const double payloadMultiple =
        report.counter("payload/input returned as result", "peak RSS / payload");
    const double replyMultiple = report.counter("payload/fetch reply", "peak RSS / payload");
    out << "\n## 5. Memory\n\n| Process | Resident memory |\n|---|---|\n"
        << "| runner, trivial call (peak) | " << format(trivialRss, 1) << " MiB ("
        << ratio(trivialRss / floorRss) << " the engine floor) |\n"
        << "| engine floor (peak) | " << format(floorRss, 1) << " MiB |\n"
        << "| idle pooled runner | " << format(idleRss, 1) << " MiB |\n"
        << "| runner, payload returned as result (peak) | " << format(payloadRss, 1) << " MiB ("
        << ratio(payloadMultiple) << " the payload) |\n"
        << "| runner, payload in a fetch reply (peak) | "
        << format(report.counter("payload/fetch reply", "peak RSS MiB"), 1) << " MiB ("
        << ratio(replyMultiple) << " the payload) |\n";

    out << "\n## 6. The engine's JIT\n\nRunners interpret by default (no memory that is "
           "writable and executable); the same measurements with the JIT on, and a plugin that "
           "computes (a loop of "
        << "hashing steps, then rows built and written as JSON).\n\n"
        << "| Measure | JIT off (default) | JIT on | off / on |\n|---|---|---|---|\n";
    for (const auto& [label, off, on] :
         {std::tuple{"cold call", "cold/runner", "jit/cold runner"},
          std::tuple{"warm call", "warm/runner", "jit/warm runner"},
          std::tuple{"payload returned as result", "payload/input returned as result",
                     "jit/payload input returned as result"},
          std::tuple{"plugin that computes", "compute/interpreter", "compute/jit"}})
        out << "| " << label << " | " << report.time(off) << " | " << report.time(on) << " | "
            << ratio(report.median(off) / report.median(on)) << " |\n";
    const double fetchJit = report.counter("jit/fetch runner", "us per round trip");
    out << "| fetch round trip | " << format(fetch, 1) << " µs | " << format(fetchJit, 1)
        << " µs | " << ratio(fetch / fetchJit) << " |\n"
        << "| runner, trivial call (peak) | " << format(trivialRss, 1) << " MiB | "
        << format(report.counter("jit/cold runner", "peak RSS MiB"), 1) << " MiB | |\n";

    const double underLoad = report.median("load/warm, second caller, refill on");
    const double heldOff = report.median("load/warm, second caller, refill held off");
    out << "\n## 7. Calls under load\n\nA call returns at its final line; the runner is reaped "
           "in the background. A cold call as its caller sees it:\n\n"
        << "| Measure | Value |\n|---|---|\n"
        << "| request → call returned | " << report.time("load/cold call returns") << " |\n"
        << "| request → runner reaped | "
        << format(report.counter("load/cold call returns", "until reaped ms"), 2) << " ms |\n\n"
        << "The warm call of section 2 while a second caller makes calls back to back (a plugin "
           "that computes for 50 ms): through a pool of its own, which starts a replacement "
           "runner after each of them, and on runners all started beforehand, so that none "
           "starts meanwhile.\n\n"
        << "| Warm call | Time | vs idle |\n|---|---|---|\n"
        << "| idle (section 2) | " << report.time("warm/runner") << " | 1.00x |\n"
        << "| second caller, its refill on | " << report.time("load/warm, second caller, refill on")
        << " | " << ratio(underLoad / warm) << " |\n"
        << "| second caller, no runner starting | "
        << report.time("load/warm, second caller, refill held off") << " | "
        << ratio(heldOff / warm) << " |\n\n"
        << "Trivial calls back to back, cold or through a pool that keeps one runner waiting per "
           "caller; with the CPU time the runners used (user and system), per call.\n\n"
        << "| Calls | Calls/s | CPU per call |\n|---|---|---|\n";
    for (const char* name : {"throughput/cold, 1 caller", "throughput/pool, 1 caller",
                             "throughput/cold, 2 callers", "throughput/pool, 2 callers"})
        out << "| " << std::string_view(name).substr(11) << " | "
            << format(report.counter(name, "calls/s"), 1) << " | "
            << format(report.counter(name, "CPU ms per call"), 1) << " ms |\n";
    out << "\nThe host's own part of section 4's payload, each way: the request line built "
           "around the input, and a result line read from `cat`, checked and decoded.\n\n"
        << "| Path | Time | MB/s |\n|---|---|---|\n";
    for (const auto& [label, name] :
         {std::pair{"request line built", "payload/host builds the request line"},
          std::pair{"result line read and decoded", "payload/host reads the result line"}})
        out << "| " << label << " | " << report.time(name) << " | "
            << format(report.counter(name, "MB/s"), 1) << " |\n";

    const double spawn = report.median("start/posix_spawn");
    out << "\n## 8. Starting a process\n\nThe start of `bench-process-floor` alone, until "
           "the call that starts it returns: posix_spawn with the pipes and signal settings "
           "the library used to give it, and the library's launcher (on its spawner thread, "
           "with the parent-death signal), without and with a memory cgroup of its own.\n\n"
        << "| Start | Time | vs posix_spawn | start to reaped |\n|---|---|---|---|\n";
    for (const auto& [label, name] :
         {std::pair{"posix_spawn", "start/posix_spawn"}, std::pair{"launcher", "start/launcher"},
          std::pair{"launcher with a memory cgroup", "start/launcher with memory limit"}})
        out << "| " << label << " | " << report.time(name) << " | "
            << ratio(report.median(name) / spawn) << " | "
            << format(report.counter(name, "until reaped ms"), 2) << " ms |\n";

    out << "\n## Targets\n\n| Target | Measured | |\n|---|---|---|\n"
        << "| warm call under 3 ms | " << format(warm, 2) << " ms | " << verdict(warm < 3) << " |\n"
        << "| warm call more than 10x faster than cold | " << ratio(cold / warm) << " | "
        << verdict(cold / warm > 10) << " |\n"
        << "| warm call more than 20x faster than the Node.js peer | " << ratio(node / warm)
        << " | " << verdict(node / warm > 20) << " |\n"
        << "| cold call within 1.10x of the engine floor | " << ratio(cold / engineFloor) << " | "
        << verdict(cold / engineFloor <= 1.10) << " |\n"
        << "| confinement under 1 ms | " << format(report.median("cold/confinement"), 2) << " ms | "
        << verdict(report.median("cold/confinement") < 1) << " |\n"
        << "| fetch round trip within 2x of the pipe ping-pong | " << ratio(fetch / pingPong)
        << " | " << verdict(fetch / pingPong <= 2) << " |\n"
        << "| payloads at half the engine floor's throughput or more | "
        << ratio(std::min(inputRate, replyRate) / floorRate) << " | "
        << verdict(std::min(inputRate, replyRate) / floorRate >= 0.5) << " |\n"
        << "| warm call under load within 1.5x of the idle warm call | " << ratio(underLoad / warm)
        << " | " << verdict(underLoad / warm <= 1.5) << " |\n"
        << "| payload peak memory under 6x the payload | "
        << ratio(std::max(payloadMultiple, replyMultiple)) << " | "
        << verdict(std::max(payloadMultiple, replyMultiple) < 6) << " |\n";

    std::ofstream(path) << out.str();
}

} // namespace zov::bench
