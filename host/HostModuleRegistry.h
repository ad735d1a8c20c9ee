// The modules the host can make instances of: the loaded plug-in library and the host's own
// selector module. Shared by the module loader (which answers whether one is loaded) and the
// instance control (which creates instances through it).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "UNHXTypes.h"

struct THostModuleEntry {
    GUID ModuleID{};
    std::string Name;
    // The module's create-instance function: instance number, out: a new INHXModule reference.
    std::function<NHXResult(uint16_t, INHXModule**)> CreateInstance;
};

class THostModuleRegistry {
  public:
    // Replaces an entry with the same GUID.
    void Add(THostModuleEntry entry);
    void Remove(const GUID& moduleId);
    const THostModuleEntry* Find(const GUID& moduleId) const;
    const std::vector<THostModuleEntry>& Entries() const { return Items; }

  private:
    std::vector<THostModuleEntry> Items;
};
