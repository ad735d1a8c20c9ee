#include "CommandTable.h"

#include "AddCommand.h"
#include "CheckCommand.h"
#include "InitCommand.h"
#include "ListCommand.h"

const std::vector<const TCommand*>& Commands() {
    static const std::vector<const TCommand*> commands = {
        &InitCommand,
        &ListCommand,
        &AddCommand,
        &CheckCommand,
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
