// The records the host keeps for its window and for tests (log entries, script runs, variable
// calls) are bounded: a host runs for years, and everything older than the last entries has gone
// to the log output already.
#pragma once

#include <cstddef>
#include <vector>

inline constexpr size_t HostHistoryLimit = 1000;

// Drops the oldest items so that at most `limit` stay.
template <class T>
void KeepLast(std::vector<T>& items, size_t limit = HostHistoryLimit) {
    if (items.size() > limit) {
        items.erase(items.begin(),
                    items.begin() + static_cast<std::ptrdiff_t>(items.size() - limit));
    }
}
