#include "ImportPlan.h"

#include <algorithm>
#include <cstddef>
#include <span>
#include <tuple>

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
                plan.Update.push_back({*records[i], wanted[i]->Values});
            } else {
                ++plan.Unchanged;  // the user's row stands for this occurrence
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
            } else if (record.RowExists &&
                       (record.Current.Date == record.Last.Date ||
                        record.Current.Discription == record.Last.Discription)) {
                // The user's row (edited or done) stays, and so does its record: when the event
                // comes back, the row stands for it again instead of a second one. A row that
                // shares neither day nor text took over a deleted row's ID: it is none of ours.
                ++plan.Unchanged;
            } else {
                plan.Forget.push_back(record);
            }
        }
    }
    return plan;
}
