// Zone names that calendar programs on Windows write: zone IDs ("W. Europe Standard Time") and
// display names ("(UTC-05:00) Eastern Time (US & Canada)"). The mapping of IDs to Olson zones
// is the CLDR Windows-zones table as ICU keeps it; this file pair is the only one that sees ICU.
#pragma once

#include <string>

// The Olson zone (Europe/Berlin) a Windows zone ID or the display name of a common Windows zone
// stands for; "" when Name is neither.
std::string OlsonNameOfWindowsZone(const std::string& Name);
