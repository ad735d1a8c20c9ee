#include "CountingHost.h"

#include "NHXHostObjects.h"

class TCountingHost::TVariables final : public TNHXVariableManagerObject {
  public:
    explicit TVariables(THostCounts& tally) : Tally(tally) {}
    NHXResult NHXCALL CreateVariable(NHXText, uint8_t) override { return S_OK; }
    NHXResult NHXCALL WriteBoolean(NHXText, bool) override {
        ++Tally.BooleanWrites;
        return S_OK;
    }
    NHXResult NHXCALL WriteString(NHXText, NHXText) override {
        ++Tally.StringWrites;
        return S_OK;
    }
    // No variables: the instance then creates its three, which costs nothing here.
    NHXResult NHXCALL GetVariables(TNHXVariables* out, int32_t* count) override {
        if (out) {
            *out = nullptr;
        }
        if (count) {
            *count = 0;
        }
        return S_OK;
    }

  protected:
    bool AnswersInterface(const GUID& iid) const override {
        return iid == IID_INHXVariableManager || iid == IID_IUnknown;
    }

  private:
    THostCounts& Tally;
};

// Knows every script and runs none.
class TCountingHost::TScripter final : public TNHXEventScripterObject {
  public:
    explicit TScripter(THostCounts& tally) : Tally(tally) {}
    NHXResult NHXCALL RunScript(NHXText, NHXText, int32_t, const TNHXScriptParams*,
                                int32_t) override {
        ++Tally.Runs;
        return S_OK;
    }
    NHXResult NHXCALL LookupScript(NHXText script, NHXText* out) override {
        ++Tally.Lookups;
        if (out) {
            *out = TNHXTextRef::Share(script).Detach();
        }
        return S_OK;
    }

  protected:
    bool AnswersInterface(const GUID& iid) const override {
        return iid == IID_INHXEventScripter || iid == IID_IUnknown;
    }

  private:
    THostCounts& Tally;
};

class TCountingHost::TSettings final : public TNHXSettingsObject {
  public:
    explicit TSettings(const std::string& database) : Database(database) {}
    NHXResult NHXCALL ReadString(uint16_t, NHXTextArray, NHXText, NHXText* out) override {
        if (out) {
            *out = TNHXTextRef(Database).Detach();
        }
        return S_OK;
    }

  protected:
    bool AnswersInterface(const GUID& iid) const override {
        return iid == IID_INHXSettings || iid == IID_IUnknown;
    }

  private:
    const std::string& Database;
};

// Answers the three services above; the module logs the others as missing, which only counts.
class TCountingHost::TKernel final : public TNHXKernelObject {
  public:
    explicit TKernel(TCountingHost& host)
        : Host(host),
          Variables(TNHXInterfacePtr<INHXVariableManager>::Adopt(new TVariables(host.Tally))),
          Scripter(TNHXInterfacePtr<INHXEventScripter>::Adopt(new TScripter(host.Tally))),
          Settings(TNHXInterfacePtr<INHXSettings>::Adopt(new TSettings(host.Database))) {}

    NHXResult NHXCALL QueryInterface(const GUID* iid, void** out) override {
        if (out && iid) {
            INHXUnknown* service = nullptr;
            if (*iid == IID_INHXVariableManager) {
                service = Variables.Get();
            } else if (*iid == IID_INHXEventScripter) {
                service = Scripter.Get();
            } else if (*iid == IID_INHXSettings) {
                service = Settings.Get();
            }
            if (service) {
                service->AddRef();
                *out = service;
                return S_OK;
            }
        }
        return TNHXKernelObject::QueryInterface(iid, out);
    }
    NHXResult NHXCALL LogMessage(int32_t, NHXText, NHXText) override {
        ++Host.Tally.Logs;
        return S_OK;
    }
    NHXResult NHXCALL GetKernelDir(NHXText* out) override {
        if (out) {
            *out = TNHXTextRef(Host.KernelDir).Detach();
        }
        return S_OK;
    }

  protected:
    bool AnswersInterface(const GUID& iid) const override {
        return iid == IID_INHXKernel || iid == IID_IUnknown;
    }

  private:
    TCountingHost& Host;
    TNHXInterfacePtr<INHXVariableManager> Variables;
    TNHXInterfacePtr<INHXEventScripter> Scripter;
    TNHXInterfacePtr<INHXSettings> Settings;
};

TCountingHost::TCountingHost(std::string kernelDir, std::string database)
    : KernelDir(std::move(kernelDir)), Database(std::move(database)) {
    KernelObject = TNHXInterfacePtr<INHXKernel>::Adopt(new TKernel(*this));
}

TCountingHost::~TCountingHost() = default;

INHXKernel* TCountingHost::Kernel() const {
    return KernelObject.Get();
}
