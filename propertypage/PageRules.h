// The page's rules that need no widget: time and file-name texts, the flag grid's column
// widths, day marks from day flags, and the lookups between captions, flags and colours.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Core.Mondrel_Types.h"
#include "DBCnx.h"
#include "DecimalText.h"
#include "JCalendarTypes.h"

// Hour and minute, two digits each: "07:05".
std::string FormatTime(TDateTime time);

// The same calendar day, whatever the time of day.
bool SameDay(TDateTime a, TDateTime b);

// The file-name part (after the last '/') is MONDREL.SDB in any letter case.
bool HasDatabaseFileName(const std::string& path);
// Acceptable as the page's database: the right file name, and a file is there.
bool IsDatabasePathAcceptable(const std::string& path);
// Why the page could not work on the file at `path` (it does not open, or lacks one of the
// four tables), or nothing when it can.
std::optional<std::string> DatabaseProblem(const std::string& path);

struct TFlagGridWidths {
    int Caption = 0;
    int Variable = 0;
    int Color = 0;
};
TFlagGridWidths FlagGridColumnWidths(int gridWidth);

// One row of marks, one per day-flag row: the flag's colour in bold, or a plain mark when the
// flag no longer exists.
TTermine BuildDayMarks(const TDayFlags& dayFlags, const TFlags& flags);

// The value of the first colour of that name.
std::optional<int32_t> FindColorValue(const TDBColors& colors, const std::string& name);

// Whether some day-flag row names a flag with this caption.
bool DayCarriesCaption(const TDayFlags& dayFlags, const TFlags& flags, const std::string& caption);

// The captions the user checked and unchecked, from those checked when the list was filled.
struct TCaptionChanges {
    std::vector<std::string> Checked;
    std::vector<std::string> Unchecked;
};
TCaptionChanges CaptionChanges(const std::vector<std::string>& before,
                               const std::vector<std::string>& after);

// The IDs of all flags carrying each caption, captions in the given order, each ID once.
TIntegerArray FlagIdsForCaptions(const std::vector<std::string>& captions, const TFlags& flags);

// The question before a flag and its day rows go: 'Delete the flag "Vacation" and its 20 days?'.
std::string FlagDeleteQuestion(const std::string& caption, size_t days);

// Why a new flag cannot be stored: a blank caption or variable. Nothing when it can.
std::optional<std::string> FlagFieldsProblem(const std::string& caption,
                                             const std::string& variable);
