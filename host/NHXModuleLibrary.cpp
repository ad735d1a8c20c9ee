#include "NHXModuleLibrary.h"

#include <dlfcn.h>

#include "NHXPtr.h"

void TNHXModuleLibrary::TCloser::operator()(void* handle) const {
    dlclose(handle);
}

TNHXModuleLibrary::TNHXModuleLibrary(const std::string& path) : LibraryPath(path) {
    // dlopen searches the library path for a bare name; a module is always given as a file.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    dlerror();
    Handle.reset(dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!Handle) {
        const char* why = dlerror();
        throw EModuleLoadError("Cannot load module " + path + ": " +
                               (why ? why : "unknown reason"));
    }
    void* entry = dlsym(Handle.get(), NHX_MODULE_INFO_SYMBOL);
    if (!entry) {
        throw EModuleLoadError("Not an NHX module (no " + std::string(NHX_MODULE_INFO_SYMBOL) +
                               "): " + path);
    }
    InfoEntry = reinterpret_cast<NHXModuleInfoFunc>(entry);
    if (NHXFailed(InfoEntry(&Record)) || !Record) {
        throw EModuleLoadError("The module " + path + " handed out no module record");
    }
    if (!Record->Register || !Record->Unregister || !Record->CreateInstance) {
        throw EModuleLoadError("The module record of " + path + " lacks a function");
    }
}

TNHXModuleLibrary::~TNHXModuleLibrary() = default;

std::string TNHXModuleLibrary::Name() const {
    return NHXTextToString(Record->ModuleName);
}
