// mondrel-db remove PATH ID... | remove PATH --from DAY --to DAY [--description TEXT], with
// [--done] [--dry-run]: deletes appointments and prints each one.
#pragma once

#include "CommandTable.h"

extern const TCommand RemoveCommand;
