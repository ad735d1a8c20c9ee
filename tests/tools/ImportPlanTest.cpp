#include <gtest/gtest.h>

#include "ImportPlan.h"

namespace {

TImportValues Values(const std::string& date, const std::string& time = "09:00:00",
                     int64_t done = 0) {
    return {date, time, "Text", "", "S", done};
}

TImportRecord Record(int64_t id, const TImportKey& key, const TImportValues& last,
                     const TImportValues* current) {
    TImportRecord record;
    record.RecordID = id * 10;
    record.ID = id;
    record.Key = key;
    record.Last = last;
    record.RowExists = current != nullptr;
    if (current != nullptr) {
        record.Current = *current;
    }
    return record;
}

TImportScope Scope(std::unordered_set<std::string> present) {
    TImportScope scope;
    scope.PresentUIDs = std::move(present);
    scope.From = "2027-01-01";
    scope.Until = "2027-12-31";
    return scope;
}

TEST(ImportPlan, OnlyRowsStillAsImportedAndOpenAreChanged) {
    TImportValues last = Values("2027-01-05");
    TImportValues moved = Values("2027-01-06");
    TImportValues done = Values("2027-01-05", "09:00:00", 1);
    TImportValues edited = Values("2027-01-05", "11:00:00");
    std::vector<TImportRecord> records{
        Record(1, {"ours", ""}, last, &last), Record(2, {"done", ""}, last, &done),
        Record(3, {"edited", ""}, last, &edited), Record(4, {"deleted", ""}, last, nullptr)};
    std::vector<TWantedRow> wanted;
    for (const char* uid : {"ours", "done", "edited", "deleted"}) {
        wanted.push_back({{uid, ""}, moved});
    }
    TImportPlan plan = PlanImport(wanted, records, Scope({"ours", "done", "edited", "deleted"}));
    // The edited row goes along to the feed's new day and keeps its own time.
    ASSERT_EQ(plan.Update.size(), 2u);
    EXPECT_EQ(plan.Update[0].Record.ID, 3);
    EXPECT_EQ(plan.Update[0].Values, Values("2027-01-06", "11:00:00"));
    EXPECT_EQ(plan.Update[0].Recorded, moved);
    EXPECT_EQ(plan.Update[1].Record.ID, 1);
    EXPECT_EQ(plan.Update[1].Values, moved);
    EXPECT_TRUE(plan.Add.empty());
    EXPECT_EQ(plan.Unchanged, 2u);
    // The done row stays where it fired; its record takes the new day, said once.
    ASSERT_EQ(plan.Notes.size(), 2u);
    EXPECT_EQ(plan.Notes[0].Kind, TEditNote::Kept);
    EXPECT_EQ(plan.Notes[0].Row, done);
    EXPECT_EQ(plan.Notes[1].Kind, TEditNote::Moved);
    ASSERT_EQ(plan.Rerecord.size(), 1u);
    EXPECT_EQ(plan.Rerecord[0].RecordID, 20);

    // Gone from the file: our row goes; the user's rows stay with their records, so that the
    // event coming back adds no second row; the record of a deleted row goes.
    TImportPlan gone = PlanImport({}, records, Scope({}));
    ASSERT_EQ(gone.Remove.size(), 1u);
    EXPECT_EQ(gone.Remove[0].ID, 1);
    ASSERT_EQ(gone.Forget.size(), 1u);
    EXPECT_EQ(gone.Forget[0].ID, 4);
    EXPECT_EQ(gone.Unchanged, 2u);
}

TEST(ImportPlan, OccurrencesOutsideTheWindowAndEventsThatCouldNotBeReadStay) {
    TImportValues january = Values("2026-12-28");
    TImportValues june = Values("2027-06-07");
    std::vector<TImportRecord> records{Record(1, {"w", "20261228T080000Z"}, january, &january),
                                       Record(2, {"w", "20270607T070000Z"}, june, &june),
                                       Record(3, {"broken", ""}, june, &june)};
    TImportScope scope = Scope({"w"});
    scope.KeptUIDs = {"broken"};
    TImportPlan plan = PlanImport({}, records, scope);
    ASSERT_EQ(plan.Remove.size(), 1u);
    EXPECT_EQ(plan.Remove[0].ID, 2);
    EXPECT_EQ(plan.Unchanged, 2u);
}

TEST(ImportPlan, RowsOfOneKeyPairInDateOrder) {
    // An all-day event over three days moved one day later: the day both cover stays, the
    // other two rows pair up as one update, the last day is new.
    TImportValues d1 = Values("2027-08-02", "00:00:00"), d2 = Values("2027-08-03", "00:00:00"),
                  d3 = Values("2027-08-04", "00:00:00"), d4 = Values("2027-08-05", "00:00:00");
    std::vector<TImportRecord> records{Record(1, {"trip", ""}, d1, &d1),
                                       Record(2, {"trip", ""}, d2, &d2),
                                       Record(3, {"trip", ""}, d3, &d3)};
    TImportPlan plan = PlanImport({{{"trip", ""}, d2}, {{"trip", ""}, d3}, {{"trip", ""}, d4}},
                                  records, Scope({"trip"}));
    EXPECT_EQ(plan.Unchanged, 2u);
    ASSERT_EQ(plan.Update.size(), 1u);
    EXPECT_EQ(plan.Update[0].Record.ID, 1);
    EXPECT_EQ(plan.Update[0].Values, d4);
    EXPECT_TRUE(plan.Add.empty());
    EXPECT_TRUE(plan.Remove.empty());
}

TEST(ImportPlan, TheUsersLeftOverRowStandsForANewUidOnItsDayOrANearbyMoveOfItsEvent) {
    TImportValues day = Values("2027-03-01");
    TImportValues edited = Values("2027-03-01", "06:00:00");
    TImportValues early = Values("2027-03-08", "06:00:00");
    TImportValues own = Values("2027-03-20");  // moved by the user to a day of its own
    std::vector<TImportRecord> records{
        Record(1, {"old", ""}, day, &edited),
        Record(2, {"w", "20270308T080000Z"}, Values("2027-03-08"), &early),
        Record(3, {"w", "20270315T080000Z"}, Values("2027-03-15"), &own)};
    std::vector<TWantedRow> wanted{{{"new", ""}, day},
                                   {{"w", "20270310T080000Z"}, Values("2027-03-10")},
                                   {{"w", "20270318T080000Z"}, Values("2027-03-18")},
                                   {{"w", "20270330T080000Z"}, Values("2027-03-30")}};
    TImportPlan plan = PlanImport(wanted, records, Scope({"new", "w"}));
    // Only the occurrence 15 days from any left-over row is new.
    ASSERT_EQ(plan.Add.size(), 1u);
    EXPECT_EQ(plan.Add[0].Values.Date, "2027-03-30");
    ASSERT_EQ(plan.Update.size(), 1u);
    EXPECT_EQ(plan.Update[0].Values, Values("2027-03-10", "06:00:00"));
    EXPECT_EQ(plan.Unchanged, 2u);
    std::vector<TEditNote::TKind> kinds;
    for (const TEditNote& note : plan.Notes) {
        kinds.push_back(note.Kind);
    }
    EXPECT_EQ(kinds, (std::vector{TEditNote::Renamed, TEditNote::Moved, TEditNote::Kept}));
    // Each record now names its new occurrence.
    std::vector<std::pair<int64_t, std::string>> keys;
    for (const TImportPlan::TRecordOnly& record : plan.Rerecord) {
        keys.emplace_back(record.RecordID, record.Now.Key.UID + record.Now.Key.Occurrence);
    }
    EXPECT_EQ(keys, (std::vector<std::pair<int64_t, std::string>>{
                        {10, "new"}, {20, "w20270310T080000Z"}, {30, "w20270318T080000Z"}}));
}

}  // namespace
