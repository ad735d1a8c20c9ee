// A module library loaded with dlopen: its NHXModuleInfo entry and the record it hands out. The
// library is unloaded when this object goes.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "UNHXTypes.h"

// A module that cannot be loaded or does not hand out a usable record.
class EModuleLoadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TNHXModuleLibrary {
  public:
    // Loads the library and reads its record; raises EModuleLoadError.
    explicit TNHXModuleLibrary(const std::string& path);
    ~TNHXModuleLibrary();
    TNHXModuleLibrary(const TNHXModuleLibrary&) = delete;
    TNHXModuleLibrary& operator=(const TNHXModuleLibrary&) = delete;

    const std::string& Path() const { return LibraryPath; }
    const TNHXModuleInfo& Info() const { return *Record; }
    // The record's ModuleName as a string.
    std::string Name() const;

  private:
    struct TCloser {
        void operator()(void* handle) const;
    };

    std::string LibraryPath;
    std::unique_ptr<void, TCloser> Handle;
    NHXModuleInfoFunc InfoEntry = nullptr;
    const TNHXModuleInfo* Record = nullptr;
};
