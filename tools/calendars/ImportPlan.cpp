#include "ImportPlan.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <span>
#include <tuple>
#include <utility>

namespace {

bool EarlierValues(const TImportValues& a, const TImportValues& b) {
    return std::tie(a.Date, a.Time) < std::tie(b.Date, b.Time);
}

// Pointers to the items in the order of their keys; the items of one key keep their order.
template <typename TItem>
std::vector<const TItem*> ByKey(const std::vector<TItem>& items) {
    std::vector<const TItem*> sorted;
    sorted.reserve(items.size());
    for (const TItem& item : items) {
        sorted.push_back(&item);
    }
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const TItem* a, const TItem* b) { return a->Key < b->Key; });
    return sorted;
}

// The items of `sorted` from `next` on that have the key; moves `next` past them.
template <typename TItem>
std::span<const TItem* const> TakeKey(const std::vector<const TItem*>& sorted, size_t& next,
                                      const TImportKey& key) {
    size_t first = next;
    while (next < sorted.size() && sorted[next]->Key == key) {
        ++next;
    }
    return std::span<const TItem* const>(sorted).subspan(first, next - first);
}

// Whether the record's row still is the row it wrote: a row that shares neither day nor text
// with it took over a deleted row's ID and is none of ours.
bool RowOfRecord(const TImportRecord& record) {
    return record.RowExists && (record.Current.Date == record.Last.Date ||
                                record.Current.Discription == record.Last.Discription);
}

// The user's row with what the feed changed since the last import, field by field: a field the
// user changed keeps the user's value.
TImportValues Merged(const TImportRecord& record, const TImportValues& feed) {
    const TImportValues& last = record.Last;
    TImportValues merged = record.Current;
    auto take = [](std::string& field, const std::string& before, const std::string& now) {
        if (field == before) {
            field = now;
        }
    };
    take(merged.Date, last.Date, feed.Date);
    take(merged.Time, last.Time, feed.Time);
    take(merged.Discription, last.Discription, feed.Discription);
    take(merged.Value, last.Value, feed.Value);
    take(merged.Script, last.Script, feed.Script);
    return merged;
}

// A wanted row paired with a record whose row is not ours any more.
void PairWithUsersRow(const TImportRecord& record, const TWantedRow& row, TImportPlan& plan) {
    const TImportValues& feed = row.Values;
    if (!RowOfRecord(record) || feed.Date == record.Last.Date) {
        ++plan.Unchanged;  // the user's row stands for this occurrence as it is
        return;
    }
    // The feed moved the occurrence to another day. The record follows it either way, so that
    // the next import has nothing new to say about it.
    if (record.Current.Done == 0 && record.Current.Date == record.Last.Date) {
        plan.Update.push_back({record, Merged(record, feed), feed});
        plan.Notes.push_back({TEditNote::Moved, record.Current, feed});
        if (row.Key != record.Key) {
            plan.Rerecord.push_back({record.RecordID, row});
        }
        return;
    }
    // The user put the row on a day of its own, or it is done: it stays.
    ++plan.Unchanged;
    plan.Rerecord.push_back({record.RecordID, row});
    plan.Notes.push_back({TEditNote::Kept, record.Current, feed});
}

// Days from YYYY-MM-DD a to b; a large number for a text that is no date.
long DaysBetween(const std::string& a, const std::string& b) {
    auto day = [](const std::string& text) -> std::optional<std::chrono::sys_days> {
        int y = 0;
        unsigned m = 0;
        unsigned d = 0;
        if (std::sscanf(text.c_str(), "%d-%u-%u", &y, &m, &d) != 3) {
            return std::nullopt;
        }
        std::chrono::year_month_day ymd{std::chrono::year(y), std::chrono::month(m),
                                        std::chrono::day(d)};
        return ymd.ok() ? std::optional(std::chrono::sys_days(ymd)) : std::nullopt;
    };
    std::optional<std::chrono::sys_days> from = day(a);
    std::optional<std::chrono::sys_days> to = day(b);
    return from && to ? std::labs((*to - *from).count()) : 1L << 30;
}

// How far an occurrence of a repeating event may move (the feed dropping it and adding one of
// the same event and summary nearby) and still count as the same one.
constexpr long MaxMoveDays = 7;

// The wanted rows about to be added that stand for a left-over row of the user's, taken out of
// plan.Add:
//  - one on the day, and with the summary, of that row: the feed gave its event a new UID (or
//    its series another start); the user's row stands for it and its record follows it, instead
//    of a second row firing;
//  - one of the same event and summary within MaxMoveDays: the feed moved that occurrence (an
//    EXDATE and an RDATE, a series moved); treated as a move of the occurrence.
void MatchUsersRows(const std::vector<const TImportRecord*>& usersRows, TImportPlan& plan) {
    if (usersRows.empty() || plan.Add.empty()) {
        return;
    }
    std::map<std::pair<std::string, std::string>, std::vector<size_t>> byDay;
    for (size_t i = 0; i < usersRows.size(); ++i) {
        const TImportRecord& record = *usersRows[i];
        byDay[{record.Last.Date, record.Last.Discription}].push_back(i);
        if (record.Current.Date != record.Last.Date ||
            record.Current.Discription != record.Last.Discription) {
            byDay[{record.Current.Date, record.Current.Discription}].push_back(i);
        }
    }
    std::vector<bool> taken(usersRows.size(), false);
    std::vector<TWantedRow> added;
    for (TWantedRow& row : plan.Add) {
        auto found = byDay.find({row.Values.Date, row.Values.Discription});
        std::optional<size_t> match;
        if (found != byDay.end()) {
            for (size_t i : found->second) {
                if (!taken[i]) {
                    match = i;
                    break;
                }
            }
        }
        if (!match) {
            added.push_back(std::move(row));
            continue;
        }
        taken[*match] = true;
        const TImportRecord& record = *usersRows[*match];
        plan.Rerecord.push_back({record.RecordID, row});
        plan.Notes.push_back({TEditNote::Renamed, record.Current, row.Values});
    }
    for (size_t i = 0; i < usersRows.size(); ++i) {
        const TImportRecord& record = *usersRows[i];
        if (taken[i]) {
            continue;
        }
        auto nearest = added.end();
        long nearestDays = MaxMoveDays + 1;
        for (auto it = added.begin(); it != added.end(); ++it) {
            if (it->Key.UID != record.Key.UID ||
                it->Values.Discription != record.Last.Discription) {
                continue;
            }
            long days = DaysBetween(record.Last.Date, it->Values.Date);
            if (days < nearestDays) {
                nearest = it;
                nearestDays = days;
            }
        }
        if (nearest != added.end()) {
            --plan.Unchanged;  // counted as the user's row left standing
            PairWithUsersRow(record, *nearest, plan);
            added.erase(nearest);
        }
    }
    plan.Add = std::move(added);
}

}  // namespace

TImportPlan PlanImport(const std::vector<TWantedRow>& Wanted,
                       const std::vector<TImportRecord>& Records, const TImportScope& Scope) {
    // Both sides in key order, walked together one key at a time (sorting beats a map of
    // thousands of keys).
    std::vector<const TWantedRow*> wantedByKey = ByKey(Wanted);
    std::vector<const TImportRecord*> recordsByKey = ByKey(Records);
    size_t nextWanted = 0;
    size_t nextRecord = 0;

    TImportPlan plan;
    std::vector<const TImportRecord*> usersRows;  // left over, the user's, still in the file
    while (nextWanted < wantedByKey.size() || nextRecord < recordsByKey.size()) {
        bool wantedFirst = nextRecord == recordsByKey.size() ||
                           (nextWanted < wantedByKey.size() &&
                            wantedByKey[nextWanted]->Key < recordsByKey[nextRecord]->Key);
        const TImportKey& key =
            wantedFirst ? wantedByKey[nextWanted]->Key : recordsByKey[nextRecord]->Key;
        std::span<const TWantedRow* const> groupWanted = TakeKey(wantedByKey, nextWanted, key);
        std::span<const TImportRecord* const> groupRecords = TakeKey(recordsByKey, nextRecord, key);
        std::vector<const TImportRecord*> records(groupRecords.begin(), groupRecords.end());
        if (Scope.KeptUIDs.count(key.UID) != 0) {
            plan.Unchanged += records.size();
            continue;
        }
        // First the rows that are exactly as last written: nothing to do for them, whoever
        // owns the row now.
        std::vector<const TWantedRow*> wanted;
        for (const TWantedRow* row : groupWanted) {
            auto same = std::find_if(records.begin(), records.end(), [&](const TImportRecord* r) {
                return r->Last == row->Values;
            });
            if (same != records.end()) {
                ++plan.Unchanged;
                records.erase(same);
            } else {
                wanted.push_back(row);
            }
        }
        auto byDate = [](const auto* a, const auto* b) {
            if constexpr (std::is_same_v<decltype(a), const TWantedRow*>) {
                return EarlierValues(a->Values, b->Values);
            } else {
                return EarlierValues(a->Last, b->Last);
            }
        };
        std::stable_sort(wanted.begin(), wanted.end(), byDate);
        std::stable_sort(records.begin(), records.end(), byDate);

        size_t paired = std::min(wanted.size(), records.size());
        for (size_t i = 0; i < paired; ++i) {
            if (records[i]->Ours()) {
                plan.Update.push_back({*records[i], wanted[i]->Values, wanted[i]->Values});
            } else {
                PairWithUsersRow(*records[i], *wanted[i], plan);
            }
        }
        for (size_t i = paired; i < wanted.size(); ++i) {
            plan.Add.push_back(*wanted[i]);
        }
        for (size_t i = paired; i < records.size(); ++i) {
            const TImportRecord& record = *records[i];
            bool outsideWindow = !key.Occurrence.empty() &&
                                 (record.Last.Date < Scope.From || record.Last.Date > Scope.Until);
            if (Scope.PresentUIDs.count(key.UID) != 0 && outsideWindow) {
                ++plan.Unchanged;
            } else if (record.Ours()) {
                plan.Remove.push_back(record);
            } else if (RowOfRecord(record)) {
                // The user's row (edited or done) stays, and so does its record: when the event
                // comes back, the row stands for it again instead of a second one.
                ++plan.Unchanged;
                usersRows.push_back(&record);
            } else {
                plan.Forget.push_back(record);
            }
        }
    }
    MatchUsersRows(usersRows, plan);
    return plan;
}
