// The host's add-in library: the add-ins modules register. It keeps a copy of each registration
// record but no reference to the plug-in, which lives as long as its module keeps it and
// unregisters itself when it goes.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "HostLog.h"
#include "NHXObjects.h"

class THostAddInLibrary final : public TNHXMessageObject<INHXAddInLibrary> {
  public:
    explicit THostAddInLibrary(std::shared_ptr<THostLog> log);

    // ---- INHXAddInLibrary ----
    NHXResult NHXCALL RegisterAddIn(const TNHXAddIn* addIn) override;
    // Fails when no add-in with that AddInID and plug-in is registered.
    NHXResult NHXCALL UnregisterAddIn(const TNHXAddIn* addIn) override;

    // ---- For the host, its window and tests ----
    const std::vector<TNHXAddIn>& AddIns() const { return Items; }
    // Drops the add-ins of a module whose code goes away; answers how many there were.
    int ForgetModule(const GUID& moduleId);
    int UnregisterCount() const { return Unregisters; }
    void SetChangeListener(std::function<void()> listener) { Changed = std::move(listener); }

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    std::shared_ptr<THostLog> Log;
    std::vector<TNHXAddIn> Items;
    int Unregisters = 0;
    std::function<void()> Changed;
};
