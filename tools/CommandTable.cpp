#include "CommandTable.h"

#include "AddCommand.h"
#include "CalendarsCommand.h"
#include "CheckCommand.h"
#include "DaysCommand.h"
#include "EditCommand.h"
#include "ExportCommand.h"
#include "FlagsCommand.h"
#include "ForgetCommand.h"
#include "HolidaysCommand.h"
#include "ImportCommand.h"
#include "InitCommand.h"
#include "ListCommand.h"
#include "RefreshCommand.h"
#include "RegionsCommand.h"
#include "RemoveCommand.h"
#include "SourcesCommand.h"
#include "UpcomingCommand.h"
#include "WeekendsCommand.h"

const std::vector<const TCommand*>& Commands() {
    static const std::vector<const TCommand*> commands = {
        &InitCommand,     &ListCommand,     &AddCommand,       &EditCommand,    &RemoveCommand,
        &UpcomingCommand, &FlagsCommand,    &DaysCommand,      &ImportCommand,  &ExportCommand,
        &RegionsCommand,  &WeekendsCommand, &HolidaysCommand,  &RefreshCommand, &SourcesCommand,
        &ForgetCommand,   &CheckCommand,    &CalendarsCommand,
    };
    return commands;
}

const TCommand* FindCommand(const std::string& Name) {
    for (const TCommand* command : Commands()) {
        if (command->Name == Name) {
            return command;
        }
    }
    return nullptr;
}
