#include "ListCommand.h"

#include <algorithm>
#include <ostream>
#include <tuple>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "TimeText.h"

namespace {

// Every appointment, or those of one month, each read whole.
TDates ReadAppointments(TDBTransaction& transaction, const TDateTime* month) {
    std::vector<int64_t> ids;
    if (month != nullptr) {
        for (const TMondrelDate& date : GetDates(transaction, dqMonth, *month)) {
            ids.push_back(date.ID);
        }
    } else {
        auto query = transaction.Database().Query("SELECT ID FROM Dates");
        for (; !query->AtEnd(); query->Next()) {
            ids.push_back(query->FieldAsInteger(0));
        }
    }
    TDates dates;
    for (int64_t id : ids) {
        dates.push_back(GetDate(transaction, id));
    }
    return dates;
}

int List(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    bool byMonth = Args.Has("month");
    TDateTime month = byMonth ? Args.Month("month") : 0;
    RequireDatabaseFile(path);
    TDates dates = InTransaction(path, [&](TDBTransaction& transaction) {
        return ReadAppointments(transaction, byMonth ? &month : nullptr);
    });
    std::sort(dates.begin(), dates.end(), [](const TMondrelDate& a, const TMondrelDate& b) {
        return std::tie(a.Date, a.Time, a.ID) < std::tie(b.Date, b.Time, b.ID);
    });
    std::vector<std::vector<std::string>> rows{
        {"ID", "Date", "Time", "Done", "Description", "Value", "Script"}};
    for (const TMondrelDate& date : dates) {
        rows.push_back({std::to_string(date.ID), DateToDBText('-', date.Date),
                        FormatLongTime(date.Time), date.Done != 0 ? "yes" : "no",
                        Printable(date.Discription), Printable(date.Value),
                        Printable(date.Script)});
    }
    PrintTable(Streams.Out, rows);
    Streams.Out << dates.size() << (dates.size() == 1 ? " appointment" : " appointments") << '\n';
    return 0;
}

}  // namespace

const TCommand ListCommand = {
    "list", "list PATH [--month YYYY-MM]", {.Positionals = {"PATH"}, .Options = {"month"}}, List};
