// The figures a benchmark program ends with: the usual console report, then one line per figure,
// `RATIO name value` for module-versus-raw (or size-versus-size) ratios and `TIME name
// microseconds` for absolute times. Times are medians over the repetitions of a benchmark, of
// the CPU time of the measuring thread (not wall time: the machine is shared, and CPU time does
// not count the waits for other processes or for the disk).
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

struct TMedianTimes {
    double RealUs = 0;
    double CpuUs = 0;
};
using TMedians = std::map<std::string, TMedianTimes>;

class TFigureReporter : public benchmark::ConsoleReporter {
  public:
    using TSummary = std::function<void(const TMedians&)>;
    explicit TFigureReporter(TSummary summary) : Summary(std::move(summary)) {}

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

  private:
    TSummary Summary;
    TMedians Medians;
};

void PrintRatio(const std::string& name, double value);
void PrintTime(const std::string& name, double microseconds);

// Runs the registered benchmarks with the reporter; answers main's exit code.
int RunBenchmarks(int argc, char** argv, TFigureReporter::TSummary summary);
