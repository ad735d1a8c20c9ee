// What the iCalendar commands (import, export, add --repeat) share: days and times between the
// store's date-time values and the adapter's stamps, the default window of repeats, and reading
// a calendar text from a file, a URL or standard input.
#pragma once

#include <iosfwd>
#include <string>

#include "DateTime.h"
#include "ICalAdapter.h"

// The day (and time of day) of a stamp, and back.
TDateTime StampDay(const TICalStamp& Stamp);
TDateTime StampTime(const TICalStamp& Stamp);
TICalStamp ToStamp(TDateTime Day, TDateTime Time = 0);

struct TFeedAccount;
// The whole text of File, the body of a feed when File is an http://, https:// or webcal:// URL
// (signed in with Account), or the text of In when File is "-"; raises EMondrelError when it
// cannot be read.
std::string ReadCalendarText(const std::string& File, std::istream& In);
std::string ReadCalendarText(const std::string& File, std::istream& In,
                             const TFeedAccount& Account);
