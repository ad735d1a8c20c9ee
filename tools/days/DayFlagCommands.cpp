#include "DayFlagCommands.h"

#include <ostream>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "FlagLookup.h"

namespace {

using namespace std::chrono;

sys_days DayOption(const TArguments& args, const std::string& name) {
    sys_days day = ToSysDays(args.Day(name));
    int year = int(year_month_day(day).year());
    if (year < MinYear || year > MaxYear) {
        args.Fail("--" + name + " " + args.Option(name) + " is outside " + YearRangeText());
    }
    return day;
}

}  // namespace

TDayRange DayRangeOption(const TArguments& Args) {
    bool from = Args.Has("from");
    bool to = Args.Has("to");
    if (Args.Has("year")) {
        if (from || to) {
            Args.Fail("give --year or --from and --to, not both");
        }
        year y(Args.Year("year"));
        return {sys_days(y / January / 1), sys_days(y / December / 31)};
    }
    if (!from && !to) {
        Args.Fail("--year or --from and --to is required");
    }
    if (from != to) {
        Args.Fail(from ? "--from needs --to" : "--to needs --from");
    }
    TDayRange range{DayOption(Args, "from"), DayOption(Args, "to")};
    if (range.First > range.Last) {
        Args.Fail("--from " + Args.Option("from") + " is after --to " + Args.Option("to"));
    }
    return range;
}

void FlagDays(const TArguments& Args, TToolStreams& Streams, const std::string& DefaultVariable,
              const std::vector<sys_days>& Days, TFlagDaysRun Run) {
    std::string path = Args.Positional("PATH");
    RequireDatabaseFile(path);
    std::vector<TDateTime> days;
    for (sys_days day : Days) {
        days.push_back(FromSysDays(day));
    }
    bool clear = Args.Has("clear");
    // Finding the flag only reads, so it also runs on a file it may not write.
    TDBTransaction transaction(
        path, Run == TFlagDaysRun::FindFlag ? TDBTransaction::AsReader : TDBTransaction::AsWriter);
    TFlag flag = Args.Has("flag") ? FlagByCaption(transaction, Args.Option("flag"))
                                  : FlagByVariable(transaction, DefaultVariable);
    if (Run == TFlagDaysRun::FindFlag) {
        return;
    }
    TDayFlagChanges changes = clear ? RemoveFlagFromDays(transaction, flag.ID, days)
                                    : AddFlagToDays(transaction, flag.ID, days);
    bool preview = Run == TFlagDaysRun::Preview;
    if (preview) {
        // The same writes as the real run, never committed: what it lists is what that run does.
        for (const std::string& day : changes.ChangedDays) {
            Streams.Out << day << "  " << Printable(flag.Caption) << '\n';
        }
    } else {
        transaction.Commit();
    }
    // Printed once the transaction has committed: what it says has happened.
    Streams.Out << Counted(static_cast<int64_t>(changes.Changed), "day", "days")
                << (preview ? " would be" : "") << (clear ? " cleared of " : " flagged ")
                << Printable(flag.Caption) << ", " << changes.Unchanged
                << (clear ? " not set\n" : " already set\n");
}

std::string DayText(sys_days Day) {
    return DateToDBText('-', FromSysDays(Day));
}
