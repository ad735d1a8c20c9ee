#include "SourcesCommand.h"

#include <optional>
#include <ostream>

#include "Clock.h"
#include "CommandSupport.h"
#include "DBCnx.h"
#include "DavTables.h"
#include "FeedFetch.h"
#include "JsonValue.h"
#include "SourceTables.h"
#include "Sqlite3Db.h"
#include "ToolTables.h"

namespace {

struct TListed {
    TSource Source;
    TSourceAhead Ahead;
    std::optional<TDavState> Dav;
};

std::vector<TListed> ListSources(const std::string& path) {
    TDBTransaction transaction(path);
    TSqliteDatabase& database = transaction.Database();
    std::string today = DateToDBText('-', DateOf(Now()));
    std::vector<TListed> listed;
    for (const TSource& source : ReadSources(database)) {
        listed.push_back(
            {source, CountAhead(transaction, source.Name, today),
             source.Kind == CalDavSource ? ReadDavState(database, source.Name) : std::nullopt});
    }
    for (const std::string& name : UnlistedSources(database)) {
        TSource source;
        source.Name = name;
        source.Kind = LegacySource;
        listed.push_back({source, CountAhead(transaction, name, today), std::nullopt});
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
        TJsonValue dav(nullptr);
        if (listed.Dav) {
            const TDavState& state = *listed.Dav;
            dav = TJsonValue::Object()
                      .Set("Server", UrlOrigin(state.Calendar))
                      .Set("Calendar", state.Calendar)
                      .Set("User", textOrNull(state.User))
                      .Set("TwoWay", state.TwoWay)
                      .Set("LastSync", textOrNull(state.LastAnswer))
                      .Set("WrittenBack", state.WrittenBack)
                      .Set("LastWriteBack", textOrNull(state.LastWriteBack))
                      .Set("Conflicts", textOrNull(state.Conflicts))
                      .Set("CredentialsRefused", textOrNull(state.Refused));
        }
        list.Append(TJsonValue::Object()
                        .Set("Name", source.Name)
                        .Set("Kind", source.Kind)
                        .Set("Location", textOrNull(ShownUrl(source.Location)))
                        .Set("Options", options)
                        .Set("OpenRowsAhead", static_cast<int64_t>(listed.Ahead.Rows))
                        .Set("FlaggedDaysAhead", static_cast<int64_t>(listed.Ahead.Days))
                        .Set("Through", textOrNull(source.Through))
                        .Set("LastRun", textOrNull(source.LastRun))
                        .Set("LastResult", textOrNull(source.LastResult))
                        .Set("CalDav", dav));
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
    const std::vector<TListed> all = ListSources(path);
    for (const TListed& listed : all) {
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
    for (const TListed& listed : all) {
        if (!listed.Dav) {
            continue;
        }
        const TDavState& state = *listed.Dav;
        Streams.Out << "\n"
                    << Printable(listed.Source.Name) << ": CalDAV "
                    << (state.TwoWay ? "two-way" : "read only") << ", server "
                    << Printable(UrlOrigin(state.Calendar)) << ", calendar "
                    << Printable(state.Calendar) << "\n  last sync "
                    << (state.LastAnswer.empty() ? "-" : state.LastAnswer) << ", written back "
                    << state.WrittenBack
                    << (state.LastWriteBack.empty() ? "" : " (last " + state.LastWriteBack + ")")
                    << "\n";
        if (!state.Refused.empty()) {
            Streams.Out << "  the server refused the credentials on " << state.Refused << "\n";
        }
        if (!state.Conflicts.empty()) {
            Streams.Out << "  conflicts:\n";
            size_t start = 0;
            while (start < state.Conflicts.size()) {
                size_t end = state.Conflicts.find('\n', start);
                Streams.Out << "    "
                            << Printable(state.Conflicts.substr(
                                   start, end == std::string::npos ? end : end - start))
                            << "\n";
                start = end == std::string::npos ? state.Conflicts.size() : end + 1;
            }
        }
    }
    return 0;
}

}  // namespace

const TCommand SourcesCommand = {
    "sources",
    "sources PATH [--json]",
    {.Positionals = {"PATH"}, .Switches = {"json"}},
    Sources,
    {{"--json", "one JSON array of the sources instead of a table (default: a table)"}}};
