#include "BenchReport.h"

#include <cstdio>

void TFigureReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
        if ((median || single) && !run.error_occurred) {
            // Kept in microseconds, whatever unit the benchmark reports in.
            double toMicroseconds = 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            Medians[run.run_name.function_name] = {run.GetAdjustedRealTime() * toMicroseconds,
                                                   run.GetAdjustedCPUTime() * toMicroseconds};
        }
    }
}

void TFigureReporter::Finalize() {
    ConsoleReporter::Finalize();
    std::printf("\n");
    if (Summary) {
        Summary(Medians);
    }
    std::fflush(stdout);
}

void PrintRatio(const std::string& name, double value) {
    std::printf("RATIO %s %.3f\n", name.c_str(), value);
}

void PrintTime(const std::string& name, double microseconds) {
    std::printf("TIME %s %.1f\n", name.c_str(), microseconds);
}

int RunBenchmarks(int argc, char** argv, TFigureReporter::TSummary summary) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    TFigureReporter reporter(std::move(summary));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
