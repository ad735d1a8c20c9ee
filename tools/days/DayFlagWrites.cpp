#include "DayFlagWrites.h"

#include <map>
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

// The rows of the flag by their date texts as stored, each with its rowid: removing by rowid
// stays fast in files whose DayFlags has no index on Date.
std::map<std::string, std::vector<int64_t>> RowsOfFlag(TDBTransaction& transaction,
                                                       int64_t flagID) {
    std::map<std::string, std::vector<int64_t>> rows;
    auto query =
        transaction.Database().Query("SELECT Date, rowid FROM DayFlags WHERE FlagID = ?", {flagID});
    for (; !query->AtEnd(); query->Next()) {
        rows[query->FieldAsText(0)].push_back(query->FieldAsInteger(1));
    }
    return rows;
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
    auto flagged = RowsOfFlag(Transaction, FlagID);
    TDayFlagChanges changes;
    for (const std::string& day : DistinctDayTexts(Days)) {
        if (flagged.count(day) != 0) {
            ++changes.Unchanged;
            continue;
        }
        Transaction.Database().Execute("INSERT INTO DayFlags (Date, FlagID) VALUES (?, ?)",
                                       {day, FlagID});
        ++changes.Changed;
        changes.ChangedDays.push_back(day);
    }
    return changes;
}

TDayFlagChanges RemoveFlagFromDays(TDBTransaction& Transaction, int64_t FlagID,
                                   const std::vector<TDateTime>& Days) {
    auto flagged = RowsOfFlag(Transaction, FlagID);
    TDayFlagChanges changes;
    for (const std::string& day : DistinctDayTexts(Days)) {
        auto found = flagged.find(day);
        if (found == flagged.end()) {
            ++changes.Unchanged;
            continue;
        }
        for (int64_t rowid : found->second) {
            Transaction.Database().Execute("DELETE FROM DayFlags WHERE rowid = ?", {rowid});
        }
        ++changes.Changed;
        changes.ChangedDays.push_back(day);
    }
    return changes;
}
