// nhx-host's options of the run history and `nhx-host --show-history`, which prints the history
// file (newest first, one line a run) and exits; it reads while a host writes.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "HostRunHistory.h"

struct THostHistoryOptions {
    std::string File;  // empty: history.sdb in the kernel directory
    int Days = DefaultHistoryDays;
    int ScriptTimeoutSeconds = 600;
    bool Show = false;
    THostHistoryFilter Filter;
    bool Json = false;
};

// Takes args[i] (and its value, advancing i) when it is one of these options; answers false for
// any other. Raises EOptionError for a bad value.
bool ParseHistoryOption(THostHistoryOptions& options, const std::vector<std::string>& args,
                        size_t& i);
// Raises EOptionError when --since, --failed, --script or --json come without --show-history.
void CheckHistoryOptions(const THostHistoryOptions& options);
// The lines of the usage text.
std::string HistoryUsage();
// The history file the host uses: the option's, or history.sdb in `kernelDir` (ends in '/').
std::string HistoryFile(const THostHistoryOptions& options, const std::string& kernelDir);

// One run as --show-history prints it, as text and as one JSON object.
std::string HistoryLine(const THostRunRecord& record);
std::string HistoryJson(const THostRunRecord& record);
// Prints the runs the filter lets through; answers the exit status (1: the file cannot be read,
// with one line on `err`).
int ShowHistory(const std::string& file, const THostHistoryOptions& options, std::ostream& out,
                std::ostream& err);
