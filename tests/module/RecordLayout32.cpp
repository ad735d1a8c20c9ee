// Compiled with -m32: including the contract runs its layout checks, which hold the records that
// cross the boundary to their exact 32-bit sizes and offsets.
#include "UNHXTypes.h"

static_assert(sizeof(void*) == 4, "compile this file for a 32-bit target");
static_assert(sizeof(TNHXModuleInfo) == 160 && sizeof(TNHXVariable) == 40 &&
              sizeof(TNHXScriptParams) == 24 && sizeof(TNHXAddIn) == 40 &&
              sizeof(TNHXModuleInstance) == 344);

int main() {
    return 0;
}
