// Compiled with -m32: the records that cross the boundary have exactly their 32-bit layout.
#include <cstddef>

#include "UNHXTypes.h"

static_assert(sizeof(void*) == 4, "compile this file for a 32-bit target");

static_assert(sizeof(TNHXModuleInfo) == 160);
static_assert(offsetof(TNHXModuleInfo, ModuleID) == 0);
static_assert(offsetof(TNHXModuleInfo, SecondID) == 16);
static_assert(offsetof(TNHXModuleInfo, Reserved) == 32);
static_assert(offsetof(TNHXModuleInfo, Author) == 116);
static_assert(offsetof(TNHXModuleInfo, ModuleName) == 124);
static_assert(offsetof(TNHXModuleInfo, Project) == 128);
static_assert(offsetof(TNHXModuleInfo, VersionInfo) == 132);
static_assert(offsetof(TNHXModuleInfo, Stamp) == 136);
static_assert(offsetof(TNHXModuleInfo, Build) == 144);
static_assert(offsetof(TNHXModuleInfo, Register) == 148);
static_assert(offsetof(TNHXModuleInfo, CreateInstance) == 156);

static_assert(sizeof(TNHXVariable) == 40);
static_assert(offsetof(TNHXVariable, Extra) == 8);
static_assert(offsetof(TNHXVariable, Updated) == 16);
static_assert(offsetof(TNHXVariable, ValueText) == 36);

static_assert(sizeof(TNHXScriptParams) == 24);
static_assert(offsetof(TNHXScriptParams, Variables) == 8);
static_assert(offsetof(TNHXScriptParams, Value2) == 20);

static_assert(sizeof(TNHXAddIn) == 40);
static_assert(offsetof(TNHXAddIn, Flags) == 32);
static_assert(offsetof(TNHXAddIn, Plugin) == 36);

static_assert(sizeof(TNHXModuleInstance) == 344);
static_assert(offsetof(TNHXModuleInstance, Module) == 4);

int main() {
    return 0;
}
