#include "DayFlagWrites.h"

#include <set>

#include "DBCnx.h"
#include "MondrelError.h"
#include "Sqlite3Db.h"

namespace {

template <typename TMatch>
TFlag FirstFlag(TDBTransaction& transaction, TMatch matches, const std::string& what) {
    for (const TFlag& flag : GetFlags(transaction)) {
        if (matches(flag)) {
            return flag;
        }
    }
    throw EMondrelError("no flag " + what);
}

// The date texts of the days that hold the flag now, as they are stored.
std::set<std::string> DaysWithFlag(TDBTransaction& transaction, int64_t flagID) {
    std::set<std::string> days;
    auto query =
        transaction.Database().Query("SELECT Date FROM DayFlags WHERE FlagID = ?", {flagID});
    for (; !query->AtEnd(); query->Next()) {
        days.insert(query->FieldAsText(0));
    }
    return days;
}

// Each day once, as its date text, in the order first listed.
std::vector<std::string> DistinctDayTexts(const std::vector<TDateTime>& days) {
    std::set<std::string> seen;
    std::vector<std::string> texts;
    for (TDateTime day : days) {
        std::string text = DateToDBText('-', day);
        if (seen.insert(text).second) {
            texts.push_back(text);
        }
    }
    return texts;
}

// Runs `statement` (date text, flag ID) for each day whose having the flag equals
// `changeFlagged`, once per day.
TDayFlagChanges ChangeDays(TDBTransaction& transaction, int64_t flagID,
                           const std::vector<TDateTime>& days, bool changeFlagged,
                           const char* statement) {
    std::set<std::string> flagged = DaysWithFlag(transaction, flagID);
    TDayFlagChanges changes;
    for (const std::string& day : DistinctDayTexts(days)) {
        if ((flagged.count(day) != 0) != changeFlagged) {
            ++changes.Unchanged;
            continue;
        }
        transaction.Database().Execute(statement, {day, flagID});
        ++changes.Changed;
    }
    return changes;
}

}  // namespace

TFlag FlagByCaption(TDBTransaction& Transaction, const std::string& Caption) {
    return FirstFlag(
        Transaction, [&](const TFlag& flag) { return flag.Caption == Caption; },
        "with the caption \"" + Caption + "\"");
}

TFlag FlagByVariable(TDBTransaction& Transaction, const std::string& Variable) {
    return FirstFlag(
        Transaction, [&](const TFlag& flag) { return flag.Variable == Variable; },
        "with the variable \"" + Variable + "\"");
}

TDayFlagChanges AddFlagToDays(TDBTransaction& Transaction, int64_t FlagID,
                              const std::vector<TDateTime>& Days) {
    return ChangeDays(Transaction, FlagID, Days, false,
                      "INSERT INTO DayFlags (Date, FlagID) VALUES (?, ?)");
}

TDayFlagChanges RemoveFlagFromDays(TDBTransaction& Transaction, int64_t FlagID,
                                   const std::vector<TDateTime>& Days) {
    return ChangeDays(Transaction, FlagID, Days, true,
                      "DELETE FROM DayFlags WHERE Date = ? AND FlagID = ?");
}
