#include "ForgetCommand.h"

#include <ostream>

#include "CommandSupport.h"
#include "DavTables.h"
#include "MondrelError.h"
#include "SourceRun.h"
#include "ToolTables.h"

namespace {

int Forget(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    std::string name = Args.Positional("NAME");
    bool keepRows = Args.Has("keep-rows");
    RequireDatabaseFile(path);
    size_t removed =
        InTransaction(path, TDBTransaction::AsWriter, [&](TDBTransaction& transaction) {
            TSqliteDatabase& database = transaction.Database();
            bool known = FindSource(database, name).has_value();
            bool recorded = !ReadImportRecords(database, name).empty() ||
                            !ReadFlagRecords(database, name).empty();
            if (!known && !recorded) {
                throw EMondrelError("no source named \"" + name +
                                    "\" (mondrel-db sources lists them)");
            }
            size_t count = ForgetSourceRecords(transaction, name, keepRows).Removed;
            DeleteSource(database, name);
            DeleteDavSource(database, name);
            return count;
        });
    Streams.Out << "Forgot " << Printable(name);
    if (keepRows) {
        Streams.Out << "; its rows and flags stay\n";
    } else {
        Streams.Out << ": " << removed << " open rows and flags taken out\n";
    }
    return 0;
}

}  // namespace

const TCommand ForgetCommand = {"forget",
                                "forget PATH NAME [--keep-rows]",
                                {.Positionals = {"PATH", "NAME"}, .Switches = {"keep-rows"}},
                                Forget,
                                {{"NAME", "the source or standing rule, as `sources` lists it"},
                                 {"--keep-rows",
                                  "keep its rows and flags as plain ones (default: "
                                  "take out its open rows nobody edited)"}}};
