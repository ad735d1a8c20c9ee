#include "ListCommand.h"

#include <ostream>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "JsonValue.h"
#include "TimeText.h"

namespace {

int List(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    bool byMonth = Args.Has("month");
    TDateTime month = byMonth ? Args.Month("month") : 0;
    RequireDatabaseFile(path);
    TSkippedRows skipped;
    TDates dates = InTransaction(path, [&](TDBTransaction& transaction) {
        if (!byMonth) {
            return GetAllDates(transaction, &skipped);
        }
        TDateParts parts = DecodeDate(month);
        return GetDatesBetween(
            transaction, month,
            EncodeDate(parts.Year, parts.Month, DaysInMonth(parts.Year, parts.Month)), &skipped);
    });
    ReportSkippedRows(Streams, "list", skipped);
    SortByDay(dates);
    if (Args.Has("json")) {
        TJsonValue list = TJsonValue::Array();
        for (const TMondrelDate& date : dates) {
            list.Append(AppointmentJson(date));
        }
        TJsonValue::Object().Set("appointments", list).Write(Streams.Out);
        return 0;
    }
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
    "list",
    "list PATH [--month YYYY-MM] [--json]",
    {.Positionals = {"PATH"}, .Options = {"month"}, .Switches = {"json"}},
    List,
    {{"--month YYYY-MM", "only the appointments of that month (default: every appointment)"},
     {"--json", "one JSON document instead of the table (default: the table)"}}};
