// mondrel-db add PATH --date YYYY-MM-DD --time HH:MM --description TEXT [--value TEXT]
// [--script NAME] [--repeat RULE [--until YYYY-MM-DD]]: stores one open appointment, or one per
// occurrence of an RFC 5545 repeat rule.
#pragma once

#include "CommandTable.h"

extern const TCommand AddCommand;
