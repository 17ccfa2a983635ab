#pragma once

// Collects the benchmark runs and writes them as a Markdown report.

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace zov::bench {

// The median and the spread of one measurement over its repetitions.
struct Measurement {
    double medianMs = 0;
    double stddevMs = 0;
    int runs = 0;
    std::map<std::string, double> counters; // medians
    std::string error;                      // why it could not be measured
};

// Shows the runs on the console as usual and keeps their medians by name.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;
    const std::map<std::string, Measurement>& measurements() const { return measurements_; }

private:
    std::map<std::string, Measurement> measurements_;
};

// One command timed by hyperfine.
struct CommandTiming {
    std::string name;
    double medianMs = 0;
    double stddevMs = 0;
    int runs = 0;
};

// Writes the report; `commands` may be empty when hyperfine could not run.
void writeReport(const std::string& path, bool smoke,
                 const std::map<std::string, Measurement>& measurements,
                 const std::vector<CommandTiming>& commands);

} // namespace zov::bench
