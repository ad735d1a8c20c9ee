// mondrel-db add PATH --date YYYY-MM-DD --time HH:MM --description TEXT [--value TEXT]
// [--script NAME]: stores one open appointment.
#pragma once

#include "CommandTable.h"

extern const TCommand AddCommand;
