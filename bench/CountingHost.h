// A host whose services only count what the module asks of them: log entries, variable writes,
// script look-ups and runs. The benchmarks measure the module's own cost, so nothing here
// allocates per call or starts a process. Every instance reads the same database path.
#pragma once

#include <cstdint>
#include <string>

#include "NHXPtr.h"
#include "UNHXTypes.h"

struct THostCounts {
    int64_t Logs = 0;
    int64_t StringWrites = 0;
    int64_t BooleanWrites = 0;
    int64_t Lookups = 0;
    int64_t Runs = 0;
};

class TCountingHost {
  public:
    TCountingHost(std::string kernelDir, std::string database);
    ~TCountingHost();
    TCountingHost(const TCountingHost&) = delete;
    TCountingHost& operator=(const TCountingHost&) = delete;

    INHXKernel* Kernel() const;
    const THostCounts& Counts() const { return Tally; }
    void SetDatabase(std::string database) { Database = std::move(database); }
    const std::string& DatabasePath() const { return Database; }

  private:
    class TKernel;
    class TVariables;
    class TScripter;
    class TSettings;

    THostCounts Tally;
    std::string KernelDir;
    std::string Database;
    TNHXInterfacePtr<INHXKernel> KernelObject;
};
