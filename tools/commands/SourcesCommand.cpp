#include "SourcesCommand.h"

#include <ostream>

#include "Clock.h"
#include "CommandSupport.h"
#include "DBCnx.h"
#include "SourceTables.h"
#include "Sqlite3Db.h"
#include "ToolTables.h"

namespace {

struct TListed {
    TSource Source;
    TSourceAhead Ahead;
};

std::vector<TListed> ListSources(const std::string& path) {
    TSqliteDatabase database(path);
    std::string today = DateToDBText('-', DateOf(Now()));
    std::vector<TListed> listed;
    for (const TSource& source : ReadSources(database)) {
        listed.push_back({source, CountAhead(database, source.Name, today)});
    }
    for (const std::string& name : UnlistedSources(database)) {
        TSource source;
        source.Name = name;
        source.Kind = LegacySource;
        listed.push_back({source, CountAhead(database, name, today)});
    }
    return listed;
}

std::string AheadText(const TListed& listed) {
    bool days = listed.Source.Kind == WeekendsSource || listed.Source.Kind == HolidaysSource ||
                (listed.Ahead.Days != 0 && listed.Ahead.Rows == 0);
    return days ? std::to_string(listed.Ahead.Days) + " days"
                : std::to_string(listed.Ahead.Rows) + " rows";
}

int Sources(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    RequireDatabaseFile(path);
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

const TCommand SourcesCommand = {"sources", "sources PATH", {.Positionals = {"PATH"}}, Sources};
