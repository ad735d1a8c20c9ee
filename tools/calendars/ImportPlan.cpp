#include "ImportPlan.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace {

struct TGroup {
    std::vector<const TWantedRow*> Wanted;
    std::vector<const TImportRecord*> Records;
};

bool EarlierValues(const TImportValues& a, const TImportValues& b) {
    return std::tie(a.Date, a.Time) < std::tie(b.Date, b.Time);
}

}  // namespace

TImportPlan PlanImport(const std::vector<TWantedRow>& Wanted,
                       const std::vector<TImportRecord>& Records, const TImportScope& Scope) {
    std::map<TImportKey, TGroup> groups;
    for (const TWantedRow& row : Wanted) {
        groups[row.Key].Wanted.push_back(&row);
    }
    for (const TImportRecord& record : Records) {
        groups[record.Key].Records.push_back(&record);
    }

    TImportPlan plan;
    for (auto& [key, group] : groups) {
        if (Scope.KeptUIDs.count(key.UID) != 0) {
            plan.Unchanged += group.Records.size();
            continue;
        }
        // First the rows that are exactly as last written: nothing to do for them, whoever
        // owns the row now.
        std::vector<const TWantedRow*> wanted;
        std::vector<const TImportRecord*> records = group.Records;
        for (const TWantedRow* row : group.Wanted) {
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
            } else {
                plan.Forget.push_back(record);
            }
        }
    }
    return plan;
}
