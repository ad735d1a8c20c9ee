// Script names as the module reads them from an appointment.
#pragma once

#include <string>

// A script name is blank when nothing but spaces and control characters (0x00-0x20 and DEL)
// remains, whatever the locale. The module runs no script for such an appointment: it only sets
// the trigger variable, every minute of the day, since the appointment never becomes done.
bool IsBlankScript(const std::string& Script);
