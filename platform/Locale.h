// The user's short date format (the default QLocale, the system's unless a test pins another).
#pragma once

#include <string>

#include "DateTime.h"

std::string FormatShortDate(TDateTime value);
