#include "CommandTable.h"

#include "AddCommand.h"
#include "CheckCommand.h"
#include "ExportCommand.h"
#include "HolidaysCommand.h"
#include "ImportCommand.h"
#include "InitCommand.h"
#include "ListCommand.h"
#include "RegionsCommand.h"
#include "WeekendsCommand.h"

const std::vector<const TCommand*>& Commands() {
    static const std::vector<const TCommand*> commands = {
        &InitCommand,    &ListCommand,     &AddCommand,      &ImportCommand, &ExportCommand,
        &RegionsCommand, &WeekendsCommand, &HolidaysCommand, &CheckCommand,
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
