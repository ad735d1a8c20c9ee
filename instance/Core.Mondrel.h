// The module frame: the static module description and the three functions the host reaches
// through it. Export.cpp hands the description out as the library's one exported symbol.
#pragma once

#include "UNHXTypes.h"

const TNHXModuleInfo* MondrelModuleInfo();

NHXResult NHXCALL MondrelRegister(INHXKernel* kernel);
NHXResult NHXCALL MondrelUnregister();
NHXResult NHXCALL MondrelCreateInstance(uint16_t instanceID, INHXModule** out);
