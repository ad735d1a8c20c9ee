#include "HostModuleRegistry.h"

#include <algorithm>

void THostModuleRegistry::Add(THostModuleEntry entry) {
    Remove(entry.ModuleID);
    Items.push_back(std::move(entry));
}

void THostModuleRegistry::Remove(const GUID& moduleId) {
    std::erase_if(Items, [&moduleId](const THostModuleEntry& e) { return e.ModuleID == moduleId; });
}

const THostModuleEntry* THostModuleRegistry::Find(const GUID& moduleId) const {
    auto it = std::find_if(Items.begin(), Items.end(), [&moduleId](const THostModuleEntry& e) {
        return e.ModuleID == moduleId;
    });
    return it == Items.end() ? nullptr : &*it;
}
