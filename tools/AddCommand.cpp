#include "AddCommand.h"

#include <ostream>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "TimeText.h"

namespace {

int Add(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    for (const char* required : {"date", "time", "description"}) {
        Args.Required(required);
    }
    TMondrelDate date;
    date.ID = -1;
    date.Date = Args.Day("date");
    date.Time = Args.Time("time");
    date.Discription = Args.Option("description");
    date.Value = Args.Option("value");
    date.Script = Args.Option("script");
    RequireDatabaseFile(path);
    AddDate(path, date);
    Streams.Out << "Added " << DateToDBText('-', date.Date) << ' ' << FormatLongTime(date.Time)
                << ' ' << Printable(date.Discription) << '\n';
    return 0;
}

}  // namespace

const TCommand AddCommand = {
    "add",
    "add PATH --date YYYY-MM-DD --time HH:MM --description TEXT [--value TEXT] [--script NAME]",
    {.Positionals = {"PATH"}, .Options = {"date", "time", "description", "value", "script"}},
    Add};
