// zov-bench: what a host pays for a plugin call, beside the floors below the
// runner and the peer above it, measured in one run and written to a
// Markdown report.
//
//   zov-bench [--smoke] [--out FILE] [--filter REGEX]
//
// --smoke runs every measurement with tiny sizes and few runs, only to show
// that the suite still works.

#include "BenchReport.h"
#include "ChannelProtocol.h"
#include "Confinement.h"
#include "JsonString.h"
#include "RunnerCall.h"
#include "UniqueFd.h"

#include <zov/PluginCall.h>
#include <zov/RunnerPool.h>

#include <JavaScriptCore/JavaScript.h>
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zov::bench {
namespace {

using namespace std::chrono_literals;
using client::Outcome;

struct Settings {
    bool smoke = false;
    std::string out = "bench/RESULTS.md";
    int coldRuns = 30;
    int warmRuns = 30;
    int throughputCalls = 40; // per thread
    int fetches = 10'000;
    size_t payloadBytes = size_t{64} << 20;
    int payloadRuns = 5;
    int computeSteps = 30'000'000; // loop turns of the plugin that computes: seconds of work
    int starts = 50;               // processes started per measurement of the start alone
    std::string filter = ".";      // which measurements run, by name
};

// Where zov-bench and the floors are.
std::string binDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

const std::string trivialRequest = client::requestLine("return {m() { return {a: 1}; }};", "m");

client::CallOptions callOptions(bool jit = false) {
    client::CallOptions options;
    options.jit = jit;
    options.timeLimit = 300s;
    options.onFetch = [](const std::string&) { return std::optional<std::string>("{}"); };
    return options;
}

double milliseconds(std::chrono::nanoseconds duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double mebibytes(long kibibytes) {
    return static_cast<double>(kibibytes) / 1024.0;
}

bool succeeded(benchmark::State& state, const Outcome& outcome) {
    if (outcome.kind == Outcome::Kind::Result)
        return true;
    state.SkipWithError(("the call failed: " + outcome.message).c_str());
    return false;
}

// One warm call through the pool, timed from the request's first byte to its final line, after a
// pause that lets the waiting runner finish starting, as between a host's calls. None when the
// call failed, which the state is told.
std::optional<Outcome> timedWarmCall(benchmark::State& state, client::RunnerPool& pool,
                                     std::string_view request, const client::CallOptions& options) {
    std::this_thread::sleep_for(150ms);
    Outcome outcome = pool.call(request, options);
    if (!succeeded(state, outcome))
        return std::nullopt;
    state.SetIterationTime(std::chrono::duration<double>(outcome.untilFinalLine).count());
    return outcome;
}

// The peak memory that bench-peak-memory reported for the program it ran.
// It writes that once the runner has ended, after the final line: it is in what the runner wrote
// on standard error after that line.
double peakMebibytes(const Outcome& outcome) {
    const std::string& written = outcome.exit.get().errorOutput;
    const size_t found = written.rfind("peak KiB ");
    if (found == std::string::npos)
        return NAN;
    return mebibytes(std::stol(written.substr(found + 9)));
}

// The resident memory of a process now, from /proc.
long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    }
    return 0;
}

// JSON text of a string of `bytes` characters, the way JSON.stringify writes it.
std::string payloadJson(size_t bytes) {
    std::string text = "\"";
    text.reserve(bytes + 2);
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789 .,;-_ABCDEFGHIJKLMNOP";
    for (size_t i = 0; i < bytes; ++i)
        text += alphabet[(i * 7 + i / 64) % (sizeof alphabet - 1)];
    text += '"';
    return text;
}

// --- Cold calls: start, a trivial request, the result line, reaped.

struct ColdProgram {
    std::string name;
    client::RunnerCommand command;
    bool jit = false;
};

// The programs take turns, round after round, so that whatever else the
// machine does falls on all of them alike and their ratios hold. Each one's
// peak memory is read in one more round, through bench-peak-memory.
std::map<std::string, Measurement> measureColdCalls(const std::vector<ColdProgram>& programs,
                                                    int rounds) {
    std::map<std::string, std::vector<double>> times;
    std::map<std::string, Measurement> measurements;
    for (int round = 0; round < rounds; ++round) {
        for (const ColdProgram& program : programs) {
            const Outcome outcome =
                client::call(trivialRequest, callOptions(program.jit), program.command);
            if (outcome.kind != Outcome::Kind::Result)
                measurements[program.name].error = "the call failed: " + outcome.message;
            times[program.name].push_back(milliseconds(outcome.exit.get().untilExit));
        }
    }
    for (const ColdProgram& program : programs) {
        Measurement& measurement = measurements[program.name];
        std::vector<double>& samples = times[program.name];
        std::sort(samples.begin(), samples.end());
        measurement.runs = static_cast<int>(samples.size());
        measurement.medianMs = samples[samples.size() / 2];
        double mean = 0;
        for (const double sample : samples)
            mean += sample / static_cast<double>(samples.size());
        double variance = 0;
        for (const double sample : samples)
            variance += (sample - mean) * (sample - mean) / static_cast<double>(samples.size());
        measurement.stddevMs = std::sqrt(variance);

        client::RunnerCommand probed = program.command;
        probed.arguments.insert(probed.arguments.begin(), probed.path);
        probed.path = binDirectory() + "/bench-peak-memory";
        measurement.counters["peak RSS MiB"] =
            peakMebibytes(client::call(trivialRequest, callOptions(program.jit), probed));
    }
    return measurements;
}

// What confining a process costs: in a child of its own each time, since
// the confinement lasts for the rest of a process's life.
void confinement(benchmark::State& state) {
    for (auto _ : state) {
        int ends[2];
        if (::pipe(ends) != 0) {
            state.SkipWithError("pipe failed");
            return;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            // Confined, the child may write to its standard output only.
            ::dup2(ends[1], STDOUT_FILENO);
            const auto start = std::chrono::steady_clock::now();
            std::optional<std::string> errorText;
            const int result = zov::confineProcess(errorText);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const double sent = result == 0 ? seconds : -1;
            _exit(::write(STDOUT_FILENO, &sent, sizeof sent) == sizeof sent ? 0 : 1);
        }
        ::close(ends[1]);
        double seconds = -1;
        const bool read = ::read(ends[0], &seconds, sizeof seconds) == sizeof seconds;
        ::close(ends[0]);
        ::waitpid(child, nullptr, 0);
        if (!read || seconds < 0) {
            state.SkipWithError("the confinement failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

// --- Warm calls: the same call on a runner started ahead of time.

void warmCall(benchmark::State& state, bool jit) {
    client::RunnerPool pool({.jit = jit});
    const client::CallOptions options = callOptions();
    for (auto _ : state) {
        // Time for the waiting runner to finish starting, as between a
        // host's calls; not measured.
        std::this_thread::sleep_for(150ms);
        const std::vector<pid_t> waiting = pool.waitingRunners();
        const long idle = waiting.empty() ? 0 : residentKiB(waiting.front());
        const Outcome outcome = pool.call(trivialRequest, options);
        if (!succeeded(state, outcome))
            return;
        state.SetIterationTime(std::chrono::duration<double>(outcome.untilFinalLine).count());
        state.counters["until reaped ms"] = milliseconds(outcome.exit.get().untilExit);
        state.counters["idle RSS MiB"] = mebibytes(idle);
    }
}

// --- Calls under load.

// A cold call as the caller sees it: until it returns, at the final line, and until the runner
// has been reaped in the background.
void coldReturn(benchmark::State& state) {
    const client::CallOptions options = callOptions();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const Outcome outcome = client::call(trivialRequest, options);
        const auto returned = std::chrono::steady_clock::now();
        if (!succeeded(state, outcome))
            return;
        outcome.exit.wait();
        const auto reaped = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(returned - start).count());
        state.counters["until reaped ms"] =
            std::chrono::duration<double, std::milli>(reaped - start).count();
    }
}

// What a second caller runs back to back: a plugin that computes for about 50 ms.
const std::string busyRequest = client::requestLine(
    "return {m() { const end = Date.now() + 50; let n = 0; while (Date.now() < end) ++n;"
    " return n > 0; }};",
    "m");

// A caller that makes calls back to back on its own thread until it is stopped: through a pool
// that starts a replacement after each call, or on runners all started before it begins, so that
// no runner starts while it runs.
class SecondCaller {
public:
    SecondCaller(bool refill, size_t calls) {
        if (refill) {
            pool_.emplace(client::RunnerPool::Options{});
        } else {
            for (size_t i = 0; i < calls; ++i)
                started_.push_back(client::RunnerProcess::start());
            // Until every one of them waits for its request.
            std::this_thread::sleep_for(std::chrono::milliseconds(60 * calls));
        }
        thread_ = std::thread([this] {
            const client::CallOptions options = callOptions();
            while (!stop_) {
                if (pool_) {
                    pool_->call(busyRequest, options);
                } else {
                    if (started_.empty()) {
                        ranOut_ = true;
                        break;
                    }
                    client::RunnerProcess runner = std::move(started_.back());
                    started_.pop_back();
                    client::call(std::move(runner), busyRequest, options);
                }
            }
        });
    }
    ~SecondCaller() {
        stop_ = true;
        thread_.join();
    }
    SecondCaller(const SecondCaller&) = delete;
    SecondCaller& operator=(const SecondCaller&) = delete;

    // Whether it had no runner left to call.
    bool ranOut() const { return ranOut_; }

private:
    std::optional<client::RunnerPool> pool_;
    std::vector<client::RunnerProcess> started_; // used by the thread only, once it runs
    std::atomic<bool> stop_ = false;
    std::atomic<bool> ranOut_ = false;
    std::thread thread_;
};

// The warm call of section 2 while a second caller keeps the machine busy. Each repetition is one
// call, 150 ms after the second caller began: some three of its calls.
void warmUnderLoad(benchmark::State& state, bool refill) {
    client::RunnerPool pool;
    const client::CallOptions options = callOptions();
    for (auto _ : state) {
        const SecondCaller second(refill, 6);
        if (!timedWarmCall(state, pool, trivialRequest, options))
            return;
        if (second.ranOut()) {
            state.SkipWithError("the second caller ran out of runners");
            return;
        }
    }
}

// The CPU time that the runners reaped so far have used, in this process's children.
double childCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Trivial calls back to back from `callers` threads, cold or through a pool; with the CPU time
// of the runners per call.
void sustainedCalls(benchmark::State& state, int callers, bool pooled, int callsPerCaller) {
    for (auto _ : state) {
        std::optional<client::RunnerPool> pool;
        if (pooled) {
            pool.emplace(client::RunnerPool::Options{.waiting = static_cast<size_t>(callers)});
            std::this_thread::sleep_for(std::chrono::milliseconds(100 * callers));
        }
        const client::CallOptions options = callOptions();
        std::atomic<int> failures = 0;
        std::vector<std::shared_future<client::RunnerExit>> exits(
            static_cast<size_t>(callers * callsPerCaller));
        const double cpuBefore = childCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> threads;
        for (int caller = 0; caller < callers; ++caller) {
            threads.emplace_back([&, caller] {
                for (int i = 0; i < callsPerCaller; ++i) {
                    Outcome outcome = pool ? pool->call(trivialRequest, options)
                                           : client::call(trivialRequest, options);
                    failures += !outcome.succeeded();
                    exits[static_cast<size_t>(caller * callsPerCaller + i)] = outcome.exit;
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (failures > 0) {
            state.SkipWithError("a call failed");
            return;
        }
        for (const auto& exit : exits)
            exit.wait();
        // The pool's waiting runners are reaped as it goes: their start counts too.
        pool.reset();
        const int calls = callers * callsPerCaller;
        state.SetIterationTime(seconds);
        state.counters["calls/s"] = calls / seconds;
        state.counters["CPU ms per call"] = (childCpuSeconds() - cpuBefore) * 1000 / calls;
    }
}

// The host's own part of a large payload, each way: the request line built around an input, and
// a result line read from a program that only writes it (cat), decoded into the outcome.
void hostRequestLine(benchmark::State& state, const std::string& payload) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::string line = client::requestLine("return {m(s) { return s; }};", "m", payload);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(line.data());
        state.SetIterationTime(seconds);
        state.counters["MB/s"] = static_cast<double>(payload.size()) / 1e6 / seconds;
    }
}

void hostResultLine(benchmark::State& state, const std::string& payload) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("zov-bench-result-" + std::to_string(::getpid()));
    {
        std::string line = "{\"json\":";
        appendJsonString(line, payload);
        line += ",\"type\":\"result\"}\n";
        std::ofstream(file, std::ios::binary) << line;
    }
    const client::RunnerCommand cat{"/bin/cat", {file.string()}};
    const client::CallOptions options = callOptions();
    for (auto _ : state) {
        const Outcome outcome = client::call(trivialRequest, options, cat);
        if (!succeeded(state, outcome))
            break;
        if (outcome.json != payload) {
            state.SkipWithError("the result differs from the payload");
            break;
        }
        const double seconds = std::chrono::duration<double>(outcome.untilFinalLine).count();
        state.SetIterationTime(seconds);
        state.counters["MB/s"] = static_cast<double>(payload.size()) / 1e6 / seconds;
    }
    std::filesystem::remove(file);
}

// --- Fetch round trips.

void fetchRoundTrips(benchmark::State& state, int fetches, bool jit) {
    client::RunnerPool pool({.jit = jit});
    const std::string request = client::requestLine(
        "return {m(n) { for (let i = 0; i < n; ++i) zov.session.fetch('u'); return n; }};", "m",
        std::to_string(fetches));
    const client::CallOptions options = callOptions();
    for (auto _ : state) {
        const std::optional<Outcome> outcome = timedWarmCall(state, pool, request, options);
        if (!outcome)
            return;
        state.counters["us per round trip"] =
            milliseconds(outcome->untilFinalLine) * 1000 / fetches;
    }
}

// Two processes passing one line of a fetch line's size back and forth.
void pipePingPong(benchmark::State& state, int roundTrips) {
    using namespace channel;
    const std::string line = std::string("{\"") + member::request + R"(":"{\"url\":\"u\"}",")" +
                             member::type + R"(":")" + type::fetch + "\"}\n";
    for (auto _ : state) {
        client::RunnerProcess echo =
            client::RunnerProcess::start({binDirectory() + "/bench-process-floor", {"--echo"}});
        char buffer[256];
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < roundTrips; ++i) {
            if (::write(echo.input(), line.data(), line.size()) !=
                    static_cast<ssize_t>(line.size()) ||
                ::read(echo.output(), buffer, sizeof buffer) != static_cast<ssize_t>(line.size())) {
                state.SkipWithError("the echo process failed");
                return;
            }
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        echo.closeInput();
        echo.wait();
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
        state.counters["us per round trip"] =
            milliseconds(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed)) * 1000 /
            roundTrips;
    }
}

// --- Payloads.

void payloadCall(benchmark::State& state, const std::string& request,
                 std::optional<std::string> reply, size_t bytes, bool jit) {
    // The pooled runners start through bench-peak-memory, which reports
    // their peak memory once they end.
    client::RunnerPool pool(
        {.runner = {binDirectory() + "/bench-peak-memory", {client::defaultRunnerPath()}},
         .jit = jit});
    client::CallOptions options = callOptions();
    if (reply)
        options.onFetch = [&](const std::string&) { return reply; };
    for (auto _ : state) {
        const std::optional<Outcome> outcome = timedWarmCall(state, pool, request, options);
        if (!outcome)
            return;
        const double seconds = std::chrono::duration<double>(outcome->untilFinalLine).count();
        state.counters["MB/s"] = static_cast<double>(bytes) / 1e6 / seconds;
        const double peak = peakMebibytes(*outcome);
        state.counters["peak RSS MiB"] = peak;
        state.counters["peak RSS / payload"] = peak * (1 << 20) / static_cast<double>(bytes);
    }
}

// --- A plugin that computes: where the JIT pays.

void computeCall(benchmark::State& state, int steps, bool jit) {
    client::RunnerPool pool({.jit = jit});
    const std::string request = client::requestLine(
        "return {m(n) { let h = 0; for (let i = 0; i < n; ++i) h = (h + i * i) % 1000003;"
        " const rows = []; for (let i = 0; i < n / 100; ++i) rows.push({key: 'k' + i, value: i});"
        " return [h, JSON.stringify(rows).length]; }};",
        "m", std::to_string(steps));
    const client::CallOptions options = callOptions();
    for (auto _ : state) {
        if (!timedWarmCall(state, pool, request, options))
            return;
    }
}

// --- Starting a process: the library's launcher against posix_spawn, each until the call that
// starts the process returns; the process is reaped afterwards, untimed.

void posixSpawnStart(benchmark::State& state, int starts) {
    const std::string program = binDirectory() + "/bench-process-floor";
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    for (auto _ : state) {
        std::chrono::nanoseconds total{0};
        for (int i = 0; i < starts; ++i) {
            // What the library's posix_spawn did: the three pipes, default signals, none blocked.
            Pipe input = makePipe(), output = makePipe(), errors = makePipe();
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_adddup2(&actions, input.read.get(), STDIN_FILENO);
            posix_spawn_file_actions_adddup2(&actions, output.write.get(), STDOUT_FILENO);
            posix_spawn_file_actions_adddup2(&actions, errors.write.get(), STDERR_FILENO);
            posix_spawnattr_t attributes;
            posix_spawnattr_init(&attributes);
            sigset_t none, all;
            sigemptyset(&none);
            sigfillset(&all);
            posix_spawnattr_setsigmask(&attributes, &none);
            posix_spawnattr_setsigdefault(&attributes, &all);
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
            pid_t pid = -1;
            const auto start = std::chrono::steady_clock::now();
            const int error =
                ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
            total += std::chrono::steady_clock::now() - start;
            posix_spawn_file_actions_destroy(&actions);
            posix_spawnattr_destroy(&attributes);
            if (error != 0) {
                state.SkipWithError("posix_spawn failed");
                return;
            }
            input.write.reset();
            ::waitpid(pid, nullptr, 0);
        }
        state.SetIterationTime(std::chrono::duration<double>(total).count() / starts);
    }
}

void launcherStart(benchmark::State& state, int starts, size_t memoryLimit) {
    const client::RunnerCommand program{binDirectory() + "/bench-process-floor"};
    const client::RunnerSettings settings{.memoryLimit = {.bytes = memoryLimit}};
    for (auto _ : state) {
        std::chrono::nanoseconds total{0}, reaping{0};
        for (int i = 0; i < starts; ++i) {
            const auto start = std::chrono::steady_clock::now();
            client::RunnerProcess process = client::RunnerProcess::start(program, settings);
            const auto started = std::chrono::steady_clock::now();
            total += started - start;
            process.closeInput();
            process.wait();
            reaping += std::chrono::steady_clock::now() - started;
        }
        state.SetIterationTime(std::chrono::duration<double>(total).count() / starts);
        state.counters["until reaped ms"] =
            std::chrono::duration<double, std::milli>(reaping).count() / starts;
    }
}

// JSON.parse and JSON.stringify of the payload's text in one context. The
// context lives as long as the process: the engine's teardown is no part of
// what is measured.
void engineJsonFloor(benchmark::State& state, const std::string& text) {
    static const JSGlobalContextRef context = JSGlobalContextCreate(nullptr);
    JSStringRef source = JSStringCreateWithUTF8CString(text.c_str());
    const JSValueRef argument = JSValueMakeString(context, source);
    JSStringRelease(source);
    JSStringRef code =
        JSStringCreateWithUTF8CString("(text) => JSON.stringify(JSON.parse(text)).length");
    const JSObjectRef roundTrip = JSValueToObject(
        context, JSEvaluateScript(context, code, nullptr, nullptr, 1, nullptr), nullptr);
    JSStringRelease(code);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        JSValueRef exception = nullptr;
        JSObjectCallAsFunction(context, roundTrip, nullptr, 1, &argument, &exception);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (exception) {
            state.SkipWithError("JSON round trip failed");
            break;
        }
        JSGarbageCollect(context);
        state.SetIterationTime(seconds);
        state.counters["MB/s"] = static_cast<double>(text.size()) / 1e6 / seconds;
    }
}

// Every measurement runs once per repetition and times itself.
template <typename... Arguments>
void measure(const char* name, int repetitions, Arguments&&... arguments) {
    benchmark::RegisterBenchmark(name, std::forward<Arguments>(arguments)...)
        ->Iterations(1)
        ->Repetitions(repetitions)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

void registerAll(const Settings& settings) {
    measure("cold/confinement", settings.coldRuns, confinement);
    measure("warm/runner", settings.warmRuns, warmCall, false);
    // Beside the idle warm call, before the measurements whose large runners the kernel is
    // still tearing down for a while after they end.
    measure("load/cold call returns", settings.coldRuns, coldReturn);
    measure("load/warm, second caller, refill on", settings.warmRuns, warmUnderLoad, true);
    measure("load/warm, second caller, refill held off", settings.warmRuns, warmUnderLoad, false);

    measure("fetch/runner", 5, fetchRoundTrips, settings.fetches, false);
    measure("fetch/pipe ping-pong", 5, pipePingPong, settings.fetches);

    static const std::string payload = payloadJson(settings.payloadBytes);
    static const std::string payloadRequest =
        client::requestLine("return {m(s) { return s; }};", "m", payload);
    measure("payload/input returned as result", settings.payloadRuns, payloadCall, payloadRequest,
            std::nullopt, settings.payloadBytes, false);
    measure(
        "payload/fetch reply", settings.payloadRuns, payloadCall,
        client::requestLine("return {m() { return zov.session.fetch('u').data.length; }};", "m"),
        std::optional<std::string>("{\"data\":" + payload + "}"), settings.payloadBytes, false);
    measure("payload/engine floor", settings.payloadRuns, engineJsonFloor, payload);

    // The same with the engine's JIT on, and a plugin that computes.
    measure("jit/warm runner", settings.warmRuns, warmCall, true);
    measure("jit/fetch runner", 5, fetchRoundTrips, settings.fetches, true);
    measure("jit/payload input returned as result", settings.payloadRuns, payloadCall,
            payloadRequest, std::nullopt, settings.payloadBytes, true);
    measure("compute/interpreter", 5, computeCall, settings.computeSteps, false);
    measure("compute/jit", 5, computeCall, settings.computeSteps, true);

    for (const int callers : {1, 2}) {
        for (const bool pooled : {false, true}) {
            const std::string name = std::string("throughput/") + (pooled ? "pool" : "cold") +
                                     ", " + std::to_string(callers) +
                                     (callers == 1 ? " caller" : " callers");
            measure(name.c_str(), 3, sustainedCalls, callers, pooled, settings.throughputCalls);
        }
    }
    measure("payload/host builds the request line", settings.payloadRuns, hostRequestLine, payload);
    measure("payload/host reads the result line", settings.payloadRuns, hostResultLine, payload);

    measure("start/posix_spawn", 5, posixSpawnStart, settings.starts);
    measure("start/launcher", 5, launcherStart, settings.starts, size_t{0});
    measure("start/launcher with memory limit", 5, launcherStart, settings.starts,
            client::MemoryLimit::defaultBytes);
}

std::vector<ColdProgram> coldPrograms() {
    const std::string bin = binDirectory();
    std::vector<ColdProgram> programs{
        {"cold/process floor", {bin + "/bench-process-floor"}},
        {"cold/engine floor", {bin + "/bench-engine-floor"}},
        {"cold/runner", {}},
        {"jit/cold runner", {}, true},
    };
    if (::access("/usr/bin/node", X_OK) == 0)
        programs.push_back(
            {"cold/Node.js vm peer",
             client::RunnerCommand{"/usr/bin/node", {ZOV_BENCH_SOURCE_DIR "/node-peer.js"}}});
    return programs;
}

// The cold calls again as whole commands, timed by hyperfine; none when it
// is not installed.
std::vector<CommandTiming> hyperfineColdCalls(const Settings& settings) {
    if (std::system("hyperfine --version >/dev/null 2>&1") != 0)
        return {};
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("zov-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const std::string request = (directory / "request.json").string();
    std::ofstream(request) << trivialRequest << '\n';
    const std::string results = (directory / "hyperfine.json").string();
    const std::string bin = binDirectory();
    std::string command = "hyperfine --style none --warmup 3 --runs " +
                          std::to_string(settings.coldRuns) + " --export-json " + results;
    const auto add = [&](const std::string& name, const std::string& program) {
        command += " -n '" + name + "' '" + program + " < " + request + "'";
    };
    add("process floor", bin + "/bench-process-floor");
    add("engine floor", bin + "/bench-engine-floor");
    add("ZovPluginHost", client::defaultRunnerPath());
    if (::access("/usr/bin/node", X_OK) == 0)
        add("Node.js vm peer", "/usr/bin/node " ZOV_BENCH_SOURCE_DIR "/node-peer.js");
    std::vector<CommandTiming> timings;
    if (std::system((command + " >/dev/null").c_str()) == 0) {
        const nlohmann::json parsed = nlohmann::json::parse(std::ifstream(results), nullptr, false);
        if (parsed.is_object() && parsed.contains("results")) {
            for (const auto& result : parsed["results"])
                timings.push_back({result.value("command", ""), result.value("median", 0.0) * 1000,
                                   result.value("stddev", 0.0) * 1000,
                                   static_cast<int>(result["times"].size())});
        }
    }
    std::filesystem::remove_all(directory);
    return timings;
}

} // namespace
} // namespace zov::bench

#if defined(__SANITIZE_ADDRESS__)
// The engine floor's context lives until the process ends, with the engine's
// allocations behind it.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libjavascriptcoregtk-4.1.so";
}
#endif

int main(int argc, char* argv[]) {
    zov::bench::Settings settings;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0) {
            settings.smoke = true;
            settings.coldRuns = settings.warmRuns = settings.payloadRuns = 2;
            settings.throughputCalls = 2;
            settings.fetches = 100;
            settings.payloadBytes = 64 << 10;
            settings.computeSteps = 10'000;
            settings.starts = 5;
        } else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            settings.out = argv[++i];
        } else if (std::strcmp(argv[i], "--filter") == 0 && i + 1 < argc) {
            settings.filter = argv[++i];
        } else {
            std::fprintf(stderr, "usage: zov-bench [--smoke] [--out FILE] [--filter REGEX]\n");
            return 2;
        }
    }
    // Each measurement runs exactly once per repetition, timed by itself.
    std::string minTime = "--benchmark_min_time=0";
    std::string filter = "--benchmark_filter=" + settings.filter;
    char* benchmarkArguments[] = {argv[0], minTime.data(), filter.data(), nullptr};
    int benchmarkCount = 3;
    benchmark::Initialize(&benchmarkCount, benchmarkArguments);
    zov::bench::registerAll(settings);
    zov::bench::Collector collector;
    std::map<std::string, zov::bench::Measurement> measurements;
    if (std::regex_search("cold", std::regex(settings.filter)) ||
        std::regex_search("jit/cold runner", std::regex(settings.filter)))
        measurements = zov::bench::measureColdCalls(zov::bench::coldPrograms(), settings.coldRuns);
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    measurements.merge(std::map(collector.measurements()));
    const std::vector<zov::bench::CommandTiming> commands =
        zov::bench::hyperfineColdCalls(settings);
    zov::bench::writeReport(settings.out, settings.smoke, measurements, commands);
    std::printf("Wrote %s\n", settings.out.c_str());
    for (const auto& [name, measurement] : measurements) {
        if (!measurement.error.empty())
            return 1;
    }
    return 0;
}
