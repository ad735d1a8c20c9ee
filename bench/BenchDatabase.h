// Database files of a given number of appointments for the benchmarks, built once with one raw
// transaction and kept in a cache folder across runs (MONDREL_BENCH_CACHE, else the temp folder).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "DateTime.h"

struct TBenchDatabase {
    std::string Path;
    int64_t Appointments = 0;
    // A day and a month whose rows are the same in every file, so only the file size differs.
    TDateTime ProbeDay = 0;
    TDateTime ProbeMonth = 0;
    // A day no file holds rows of; benchmarks that add rows put them there and remove them after.
    TDateTime ScratchDay = 0;
    int64_t MiddleID = 0;
};

const TBenchDatabase& BenchDatabase(int64_t appointments);

// Where the benchmark files are kept: MONDREL_BENCH_CACHE, else the temp folder.
std::filesystem::path BenchCacheFolder();
