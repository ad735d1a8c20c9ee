// The host's instance control: creates instances of registered modules by GUID, numbering them,
// keeps one reference to each, and deletes them (closing the page first, as a host closing the
// instance's page would). Tests can make it refuse and choose the next number.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "HostLog.h"
#include "HostModuleRegistry.h"
#include "NHXObjects.h"
#include "NHXPtr.h"

struct THostInstance {
    uint16_t Number = 0;
    GUID ModuleID{};
    TNHXInterfacePtr<INHXModule> Module;
};

class THostInstanceControl final : public TNHXMessageObject<INHXInstanceControl> {
  public:
    THostInstanceControl(std::shared_ptr<THostLog> log,
                         std::shared_ptr<THostModuleRegistry> registry);
    ~THostInstanceControl() override;

    // ---- INHXInstanceControl ----
    // Fills the record's number and a new INHXModule reference the caller releases.
    NHXResult NHXCALL CreateInstance(const GUID* module, TNHXModuleInstance* out,
                                     int32_t reserved) override;
    NHXResult NHXCALL DeleteInstance(uint16_t instance) override;

    // ---- For the host, its window and tests ----
    // Creates an instance; answers it (an empty Module on failure) and the result code.
    NHXResult Create(const GUID& moduleId, THostInstance& created);
    const std::vector<THostInstance>& Instances() const { return Items; }
    INHXModule* Find(uint16_t number) const;
    // ClosePage, then release, for every instance, newest first.
    void ReleaseAll();
    // The instance's ClosePage; then the page-closed listener hears of it.
    NHXResult ClosePage(uint16_t number);
    // Called after an instance's page was closed: by ClosePage, and by DeleteInstance (so also
    // when the host stops) before the instance is let go.
    using TPageClosedListener = std::function<void(uint16_t number, INHXModule& module)>;
    void SetPageClosedListener(TPageClosedListener listener) { PageClosed = std::move(listener); }

    void SetRefuse(bool refuse) { Refusing = refuse; }
    // The number the next instance gets; afterwards numbers count up from it.
    void SetNextNumber(uint16_t number) { NextNumber = number; }
    void SetChangeListener(std::function<void()> listener) { Changed = std::move(listener); }
    // Called with every instance created from now on.
    void AddCreatedListener(std::function<void(const THostInstance&)> listener) {
        CreatedListeners.push_back(std::move(listener));
    }

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    uint16_t TakeNumber();
    void Notify() const;

    std::shared_ptr<THostLog> Log;
    std::shared_ptr<THostModuleRegistry> Registry;
    std::vector<THostInstance> Items;
    uint16_t NextNumber = 1;
    bool Refusing = false;
    std::function<void()> Changed;
    std::vector<std::function<void(const THostInstance&)>> CreatedListeners;
    TPageClosedListener PageClosed;
};
