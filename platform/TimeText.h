// The long time format: fixed 24-hour HH:MM:SS, written for the database and for the host, so
// that stored times sort chronologically. Reading is tolerant of H:MM, H:MM:SS and 12-hour
// times with AM/PM (and milliseconds after the seconds), so files written under 12-hour locales
// or by other tools still read.
#pragma once

#include <string>
#include <string_view>

#include "DateTime.h"

std::string FormatLongTime(TDateTime value);

// The time of day of `text`; raises EConvertError when it is no time.
TDateTime ParseTime(std::string_view text);
