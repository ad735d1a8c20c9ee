// Reading the names out of a variables array the host handed out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "UNHXTypes.h"

// The names of the array's elements, in order: as many as the host claims, but never more than
// the array holds, whatever count it claims. A null name reads as the empty text.
std::vector<std::string> ReadVariableNames(TNHXVariables Variables, int32_t ClaimedCount);
