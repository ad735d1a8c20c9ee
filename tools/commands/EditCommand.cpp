#include "EditCommand.h"

#include <optional>
#include <ostream>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "MondrelError.h"

namespace {

int Edit(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    int64_t id = Args.Key("ID", Args.Positional("ID"));
    bool anyChange = false;
    for (const char* option : {"date", "time", "description", "value", "script", "open", "done"}) {
        anyChange = anyChange || Args.Has(option);
    }
    if (!anyChange) {
        Args.Fail(
            "nothing to change (give --date, --time, --description, --value, --script, "
            "--open or --done)");
    }
    if (Args.Has("open") && Args.Has("done")) {
        Args.Fail("give --open or --done, not both");
    }
    // Every option is read before the file is opened: a wrong one changes nothing.
    std::optional<TDateTime> date, timeOfDay;
    if (Args.Has("date")) {
        date = Args.Day("date");
    }
    if (Args.Has("time")) {
        timeOfDay = Args.Time("time");
    }
    RequireDatabaseFile(path);
    TMondrelDate edited =
        InTransaction(path, TDBTransaction::AsWriter, [&](TDBTransaction& transaction) {
            if (!HasDate(transaction, id)) {
                throw EMondrelError("No appointment with ID " + std::to_string(id) + ".");
            }
            TMondrelDate row;
            try {
                row = GetDate(transaction, id);
            } catch (const EConvertError& error) {
                throw EMondrelError("The appointment " + std::to_string(id) + " cannot be read: " +
                                    error.what() + " (remove it, or add it anew)");
            }
            row.Date = date.value_or(row.Date);
            row.Time = timeOfDay.value_or(row.Time);
            for (auto [option, field] :
                 {std::pair{"description", &row.Discription}, std::pair{"value", &row.Value},
                  std::pair{"script", &row.Script}}) {
                if (Args.Has(option)) {
                    *field = Args.Option(option);
                }
            }
            UpdateDate(transaction, row);
            if (Args.Has("done")) {
                SetDateDone(transaction, id);
                row.Done = 1;
            } else if (Args.Has("open")) {
                SetDateOpen(transaction, id);
                row.Done = 0;
            }
            return row;
        });
    Streams.Out << "Changed " << AppointmentLine(edited) << '\n';
    return 0;
}

}  // namespace

const TCommand EditCommand = {
    "edit",
    "edit PATH ID [--date YYYY-MM-DD] [--time HH:MM] [--description TEXT] [--value TEXT] "
    "[--script NAME] [--open|--done]",
    {.Positionals = {"PATH", "ID"},
     .Options = {"date", "time", "description", "value", "script"},
     .Switches = {"open", "done"}},
    Edit,
    {{"ID", "the appointment's ID, as `mondrel-db list PATH` shows it"},
     {"--date YYYY-MM-DD", "the new day (default: unchanged, as every option)"},
     {"--time HH:MM", "the new time of day, HH:MM or HH:MM:SS"},
     {"--description TEXT", "the new text Mondrel_TriggerValue takes"},
     {"--value TEXT", "the new value handed to the script"},
     {"--script NAME", "the new script (\"\" for none)"},
     {"--open", "mark it open again, so it fires on its day"},
     {"--done", "mark it done, so it does not fire"}}};
