// Database files for timing the once-a-minute tick and the page: the four tables as the tool
// makes them, filled with one raw transaction and kept in the benchmark cache folder. Each size
// exists with each choice of index on Dates, so a file made by another tool (no index, or an
// older one) can be timed beside one made by `mondrel-db init`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DateTime.h"

enum class TDatesIndex { None, DateOnly, Chosen };

const char* IndexName(TDatesIndex index);

struct TTickFile {
    std::string Path;
    int64_t Appointments = 0;
    TDatesIndex Index = TDatesIndex::None;
};

// The day every tick file calls today. Its rows are the same in every file, so only the size
// and the index differ: 63 appointments done earlier in the day, DueCount open ones with a
// script between 11:00 and 11:09 (the tick at 12:05 fires them), and 3 open ones in the
// afternoon. All other rows lie on the ten years before it, every fiftieth of them still open.
TDateTime TickDay();
constexpr int DueCount = 10;
constexpr int FlagCount = 20;
// The IDs of the DueCount rows, in time order.
std::vector<int64_t> DueIDs(const TTickFile& file);

const TTickFile& TickFile(int64_t appointments, TDatesIndex index);

// The page's file: `appointments` spread evenly over the ten years around PageDay, with exactly
// PageDayRows on each of ClickDays (the 17th and 18th of PageDay's month).
TDateTime PageDay();
constexpr int PageDayRows = 10;
const TTickFile& PageFile(int64_t appointments, TDatesIndex index);

// The statement that makes `index`, empty for None.
std::string IndexStatement(TDatesIndex index);
