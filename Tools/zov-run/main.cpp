// zov-run: calls one method of a plugin the way the host application does,
// answering the plugin's fetches from a file of canned replies.

#include <zov/PluginCall.h>
#include <zov/RunnerPool.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <getopt.h>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using nlohmann::json;

constexpr const char* usageLine = "usage: zov-run PLUGIN.js METHOD [INPUT_JSON] [options]\n";

constexpr const char* help =
    "\n"
    "Calls METHOD of the plugin with INPUT_JSON (default: no input, which the\n"
    "plugin sees as {}) and prints the result as JSON text.\n"
    "\n"
    "options:\n"
    "  --replies FILE      answer fetches from FILE, a JSON object that maps each\n"
    "                      URL to the reply object the plugin gets\n"
    "  --time-limit SECS   stop the plugin after SECS seconds (default 30, 0: none)\n"
    "  --memory-limit MIB  stop the plugin when it uses more than MIB mebibytes of\n"
    "                      memory (default 1024, 0: none)\n"
    "  --jit               let the engine compile the plugin to machine code: faster\n"
    "                      for plugins that compute a lot, but the runner then has\n"
    "                      memory that is writable and executable\n"
    "  --runner PATH       the ZovPluginHost to run (default: the one that\n"
    "                      ZOV_PLUGIN_HOST names, else the one installed with\n"
    "                      the host library)\n"
    "  --verbose           show each fetch and its reply on standard error\n"
    "  --repeat N          make the call N times through runners started ahead of\n"
    "                      time, with a pause before each call that lets its runner\n"
    "                      start; print the last outcome and the call times\n"
    "  --help              show this help and exit\n"
    "  --version           show the version and exit\n"
    "\n"
    "Exit status: 0 with a result, 1 when the plugin failed (its message and\n"
    "state are printed on standard error), 2 for any other problem.\n";

// A command line that is not one: the usage line and a pointer to --help on standard error.
[[noreturn]] void refuse() {
    std::cerr << usageLine << "Try 'zov-run --help' for the options.\n";
    std::exit(2);
}

[[noreturn]] void die(const std::string& message) {
    std::cerr << "zov-run: " << message << '\n';
    std::exit(2);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        die("cannot read " + path + ": " + std::strerror(errno));
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

std::string errorReply(const std::string& text) {
    return json{{"error", text}}.dump();
}

// Answers each fetch from the replies file by the request's `url`.
class CannedReplies {
public:
    CannedReplies(std::optional<std::string> path, bool verbose)
        : path_(std::move(path)), verbose_(verbose) {
        if (!path_)
            return;
        replies_ = json::parse(readFile(*path_), nullptr, false);
        if (!replies_.is_object())
            die(*path_ + " must hold a JSON object that maps URLs to replies");
    }

    std::string answer(const std::string& request) const {
        std::string reply = lookUp(request);
        if (verbose_)
            std::cerr << "fetch: " << request << "\nreply: " << reply << '\n';
        return reply;
    }

private:
    std::string lookUp(const std::string& request) const {
        if (!path_)
            return errorReply("zov-run has no replies file (--replies FILE)");
        const json parsed = json::parse(request, nullptr, false);
        if (!parsed.is_object() || !parsed.contains("url") || !parsed["url"].is_string())
            return errorReply("zov-run: the fetch request has no URL");
        const std::string url = parsed["url"].get<std::string>();
        const auto reply = replies_.find(url);
        if (reply == replies_.end())
            return errorReply("zov-run: no reply for " + url + " in " + *path_);
        return reply->dump(-1, ' ', false, json::error_handler_t::replace);
    }

    std::optional<std::string> path_;
    bool verbose_;
    json replies_;
};

// Makes the call `count` times on runners started ahead of time, as a host
// with a pool does, and reports the call times on standard error. A pause
// before each call gives the runner that will serve it time to start.
zov::client::Outcome callRepeatedly(const std::string& request,
                                    const zov::client::CallOptions& callOptions,
                                    const zov::client::RunnerCommand& runner, long count) {
    zov::client::RunnerPool pool(
        {.runner = runner, .memoryLimit = callOptions.memoryLimit, .jit = callOptions.jit});
    std::vector<double> milliseconds;
    zov::client::Outcome outcome;
    for (long i = 0; i < count; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = std::chrono::steady_clock::now();
        outcome = pool.call(request, callOptions);
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    std::fprintf(stderr, "%ld calls: median %.2f ms, fastest %.2f ms, slowest %.2f ms\n", count,
                 milliseconds[milliseconds.size() / 2], milliseconds.front(), milliseconds.back());
    return outcome;
}

} // namespace

int main(int argc, char* argv[]) {
    enum { Replies = 1, TimeLimit, MemoryLimit, Jit, Runner, Verbose, Repeat, Help, Version };
    const option options[] = {{"replies", required_argument, nullptr, Replies},
                              {"time-limit", required_argument, nullptr, TimeLimit},
                              {"memory-limit", required_argument, nullptr, MemoryLimit},
                              {"jit", no_argument, nullptr, Jit},
                              {"runner", required_argument, nullptr, Runner},
                              {"verbose", no_argument, nullptr, Verbose},
                              {"repeat", required_argument, nullptr, Repeat},
                              {"help", no_argument, nullptr, Help},
                              {"version", no_argument, nullptr, Version},
                              {nullptr, 0, nullptr, 0}};
    std::optional<std::string> repliesPath;
    zov::client::CallOptions callOptions;
    // The default runner is looked up only when none is named: a missing one is then an error.
    std::optional<std::string> runnerPath;
    callOptions.timeLimit = std::chrono::seconds(30);
    bool verbose = false;
    long repeat = 0;
    for (int option; (option = getopt_long(argc, argv, "", options, nullptr)) != -1;) {
        switch (option) {
        case Replies:
            repliesPath = optarg;
            break;
        case TimeLimit: {
            char* end = nullptr;
            const double seconds = std::strtod(optarg, &end);
            // At most a year: longer is no limit in practice, and must not overflow.
            if (*optarg == '\0' || *end != '\0' || !(seconds >= 0 && seconds <= 365 * 86400.0))
                die(std::string("--time-limit takes a number of seconds, not ") + optarg);
            callOptions.timeLimit =
                std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
            break;
        }
        case MemoryLimit: {
            char* end = nullptr;
            errno = 0;
            const unsigned long long mebibytes = std::strtoull(optarg, &end, 10);
            if (!std::isdigit(static_cast<unsigned char>(*optarg)) || *end != '\0' ||
                errno == ERANGE || mebibytes > (SIZE_MAX >> 20))
                die(std::string("--memory-limit takes a whole number of MiB, not ") + optarg);
            callOptions.memoryLimit.bytes = static_cast<size_t>(mebibytes) << 20;
            break;
        }
        case Jit:
            callOptions.jit = true;
            break;
        case Runner:
            runnerPath = optarg;
            break;
        case Verbose:
            verbose = true;
            break;
        case Repeat: {
            char* end = nullptr;
            repeat = std::strtol(optarg, &end, 10);
            if (*optarg == '\0' || *end != '\0' || repeat < 1)
                die(std::string("--repeat takes a positive number, not ") + optarg);
            break;
        }
        case Help:
            std::cout << usageLine << help;
            return 0;
        case Version:
            std::cout << "zov-run " ZOV_VERSION "\n";
            return 0;
        default:
            refuse();
        }
    }
    const int operands = argc - optind;
    if (operands < 2 || operands > 3)
        refuse();
    const std::string script = readFile(argv[optind]);
    const std::string method = argv[optind + 1];
    std::optional<std::string> input;
    if (operands == 3)
        input = argv[optind + 2];

    std::string request;
    try {
        request = zov::client::requestLine(script, method, input);
    } catch (const std::invalid_argument&) {
        die("the input is not JSON text: " + *input);
    }
    const CannedReplies replies(repliesPath, verbose);
    callOptions.onFetch = [&](const std::string& fetch) { return replies.answer(fetch); };

    zov::client::Outcome outcome;
    try {
        const zov::client::RunnerCommand runner =
            runnerPath ? zov::client::RunnerCommand{*runnerPath} : zov::client::RunnerCommand{};
        outcome = repeat > 0 ? callRepeatedly(request, callOptions, runner, repeat)
                             : zov::client::call(request, callOptions, runner);
    } catch (const std::exception& failure) {
        die(failure.what());
    }
    switch (outcome.kind) {
    case zov::client::Outcome::Kind::Result:
        std::cout << outcome.json << '\n';
        return 0;
    case zov::client::Outcome::Kind::Error:
        std::cerr << "error: " << outcome.message << '\n';
        if (!outcome.state.empty())
            std::cerr << "state: " << json(outcome.state).dump() << '\n';
        return 1;
    case zov::client::Outcome::Kind::Failure:
        break;
    }
    die(outcome.message);
}
