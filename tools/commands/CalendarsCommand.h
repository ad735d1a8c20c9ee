// mondrel-db calendars URL [--user NAME] [--password-file FILE] [--json]: the calendars of a
// CalDAV account (or the one calendar at URL), as import --caldav takes them.
#pragma once

#include "CommandTable.h"

extern const TCommand CalendarsCommand;
