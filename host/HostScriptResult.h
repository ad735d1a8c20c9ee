// How one script run ended, as the run history records it and the MQTT bridge publishes it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct THostScriptResult {
    std::int64_t HistoryId = 0;  // the run's row in the history file, 0 when none is kept
    std::string Sender;
    int Instance = 0;  // the module instance that asked for the run; 0: none (MQTT, the host)
    std::string Script;
    std::vector<std::pair<std::string, std::string>> Parameters;  // name, value, in given order
    std::string Asked;       // ISO 8601 local time with offset, when RunScript accepted the run
    std::string Started;     // empty when the script never started
    std::string Finished;    // when it ended, or when it was given up
    int ExitStatus = -1;     // -1 when it did not exit normally
    int Signal = 0;          // the signal that ended it, 0 when none
    std::string Outcome;     // "ok", "failed", "not started" or "timed out"
    std::string Reason;      // why it did not start, or how it failed; empty for "ok"
    std::string OutputTail;  // the last lines of its output, at most 4 KB
};
