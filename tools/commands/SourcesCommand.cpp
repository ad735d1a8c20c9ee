#include "SourcesCommand.h"

#include <ostream>

#include "Clock.h"
#include "CommandSupport.h"
#include "DBCnx.h"
#include "FeedFetch.h"
#include "JsonValue.h"
#include "SourceTables.h"
#include "Sqlite3Db.h"
#include "ToolTables.h"

namespace {

struct TListed {
    TSource Source;
    TSourceAhead Ahead;
};

std::vector<TListed> ListSources(const std::string& path) {
    TDBTransaction transaction(path);
    TSqliteDatabase& database = transaction.Database();
    std::string today = DateToDBText('-', DateOf(Now()));
    std::vector<TListed> listed;
    for (const TSource& source : ReadSources(database)) {
        listed.push_back({source, CountAhead(transaction, source.Name, today)});
    }
    for (const std::string& name : UnlistedSources(database)) {
        TSource source;
        source.Name = name;
        source.Kind = LegacySource;
        listed.push_back({source, CountAhead(transaction, name, today)});
    }
    return listed;
}

std::string AheadText(const TListed& listed) {
    bool days = listed.Source.Kind == WeekendsSource || listed.Source.Kind == HolidaysSource ||
                (listed.Ahead.Days != 0 && listed.Ahead.Rows == 0);
    return days ? Counted(static_cast<int64_t>(listed.Ahead.Days), "day", "days")
                : Counted(static_cast<int64_t>(listed.Ahead.Rows), "row", "rows");
}

void WriteJson(std::ostream& out, const std::vector<TListed>& sources) {
    TJsonValue list = TJsonValue::Array();
    for (const TListed& listed : sources) {
        const TSource& source = listed.Source;
        TJsonValue options = TJsonValue::Array();
        for (const std::string& option : source.Options) {
            options.Append(option);
        }
        auto textOrNull = [](const std::string& text) {
            return text.empty() ? TJsonValue(nullptr) : TJsonValue(text);
        };
        list.Append(TJsonValue::Object()
                        .Set("Name", source.Name)
                        .Set("Kind", source.Kind)
                        .Set("Location", textOrNull(ShownUrl(source.Location)))
                        .Set("Options", options)
                        .Set("OpenRowsAhead", static_cast<int64_t>(listed.Ahead.Rows))
                        .Set("FlaggedDaysAhead", static_cast<int64_t>(listed.Ahead.Days))
                        .Set("Through", textOrNull(source.Through))
                        .Set("LastRun", textOrNull(source.LastRun))
                        .Set("LastResult", textOrNull(source.LastResult)));
    }
    list.Write(out);
}

int Sources(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    RequireDatabaseFile(path);
    if (Args.Has("json")) {
        WriteJson(Streams.Out, ListSources(path));
        return 0;
    }
    std::vector<std::vector<std::string>> rows = {
        {"NAME", "KIND", "OPTIONS", "AHEAD", "THROUGH", "LAST RUN", "RESULT"}};
    for (const TListed& listed : ListSources(path)) {
        const TSource& source = listed.Source;
        rows.push_back({Printable(source.Name), source.Kind,
                        Printable(JoinArguments(source.Options)), AheadText(listed),
                        source.Through.empty() ? "-" : source.Through,
                        source.LastRun.empty() ? "-" : source.LastRun,
                        source.LastResult.empty() ? "-" : Printable(source.LastResult)});
    }
    if (rows.size() == 1) {
        Streams.Out << "no sources\n";
        return 0;
    }
    PrintTable(Streams.Out, rows);
    return 0;
}

}  // namespace

const TCommand SourcesCommand = {
    "sources",
    "sources PATH [--json]",
    {.Positionals = {"PATH"}, .Switches = {"json"}},
    Sources,
    {{"--json", "one JSON array of the sources instead of a table (default: a table)"}}};
