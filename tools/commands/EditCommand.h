// mondrel-db edit PATH ID [--date] [--time] [--description] [--value] [--script] [--open|--done]:
// changes one appointment.
#pragma once

#include "CommandTable.h"

extern const TCommand EditCommand;
