// A host application: one call of a plugin's method through a pool of runners started ahead of
// time, its fetches answered from a map, within a time limit, and the outcome printed.
//
//   host PLUGIN.js        (the sample plugin: examples/forecast.js)

#include <zov/PluginCall.h>
#include <zov/RunnerPool.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

int main(int argc, char* argv[]) {
    std::ifstream file(argc == 2 ? argv[1] : "");
    if (!file) {
        std::cerr << "usage: host PLUGIN.js (a plugin file that can be read)\n";
        return 2;
    }
    std::ostringstream plugin;
    plugin << file.rdbuf();

    // What the host answers, by URL (each reply one line of JSON): here a map, in a real host the
    // network.
    const std::map<std::string, std::string> replies = {
        {"https://weather.example.com/v1/forecast?city=Berlin",
         R"({"status": 200, "body": {"city": "Berlin", "days": [)"
         R"({"date": "2026-12-10", "sky": "overcast", "low": -1, "high": 3},)"
         R"({"date": "2026-12-11", "sky": "sunny", "low": -3, "high": 4}]}})"}};
    zov::client::CallOptions options;
    options.onFetch = [&](const std::string& request) -> std::optional<std::string> {
        const auto reply = replies.find(nlohmann::json::parse(request).value("url", ""));
        return reply != replies.end() ? reply->second : R"({"error": "not found"})";
    };
    options.timeLimit = std::chrono::seconds(10);

    try {
        zov::client::RunnerPool pool;
        const zov::client::Outcome outcome = pool.call(
            zov::client::requestLine(plugin.str(), "summary", R"({"city": "Berlin"})"), options);
        if (outcome.succeeded()) {
            std::cout << outcome.json << '\n';
            return 0;
        }
        std::cerr << "error: " << outcome.message << '\n';
        for (const auto& [key, value] : outcome.state)
            std::cerr << "  " << key << ": " << value << '\n';
        return 1;
    } catch (const std::exception& error) { // no runner could be started
        std::cerr << "host: " << error.what() << '\n';
        return 2;
    }
}
