// Records in which rows travel between the store, the calendar instance and the property page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DateTime.h"

struct TMondrelDate {
    int64_t ID = 0;  // -1 for an appointment not yet stored
    TDateTime Date = 0;
    TDateTime Time = 0;
    std::string Discription;
    std::string Value;
    std::string Script;
    int32_t Done = 0;
};

struct TFlag {
    int64_t ID = 0;
    std::string Caption;
    std::string Variable;
    int32_t Color = 0;
    int32_t isFix = 0;
};

struct TDayFlag {
    int64_t FlagID = 0;
    TDateTime Date = 0;
};

struct TDBColor {
    int32_t Value = 0;
    std::string Name;
};

// A stored row that a listing left out because one of its fields cannot be read: its table, its
// key (a DayFlags row has none: there it is the key of its flag), the column and that column's
// stored text (Null when the column holds NULL).
struct TSkippedRow {
    std::string Table;
    int64_t ID = 0;
    std::string Column;
    std::string Text;
    bool Null = false;
};

using TDates = std::vector<TMondrelDate>;
using TFlags = std::vector<TFlag>;
using TDayFlags = std::vector<TDayFlag>;
using TDBColors = std::vector<TDBColor>;
using TSkippedRows = std::vector<TSkippedRow>;
