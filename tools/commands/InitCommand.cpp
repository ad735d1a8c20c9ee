#include "InitCommand.h"

#include <ostream>

#include "MondrelSchema.h"

namespace {

int Init(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    CreateMondrelDatabase(path);
    Streams.Out << "Created " << path << '\n';
    return 0;
}

}  // namespace

const TCommand InitCommand = {
    "init",
    "init PATH",
    {.Positionals = {"PATH"}},
    Init,
    {{"PATH", "the new database file; an existing file is never overwritten"}}};
