// Reference-counted base objects for everything the module (or a host) hands out as an
// interface. The count starts at 1: the creator owns the first reference and adopts it into a
// TNHXInterfacePtr. The object deletes itself when the last reference goes.
#pragma once

#include <cstdint>

#include "UNHXTypes.h"

// Implements the three IUnknown slots of interface I. Derived classes say which GUIDs they answer.
template <class I>
class TNHXObject : public I {
  public:
    TNHXObject() = default;
    TNHXObject(const TNHXObject&) = delete;
    TNHXObject& operator=(const TNHXObject&) = delete;

    NHXResult NHXCALL QueryInterface(const GUID* iid, void** out) override {
        if (!out) {
            return E_FAIL;
        }
        *out = nullptr;
        if (!iid || !AnswersInterface(*iid)) {
            return E_NOINTERFACE;
        }
        AddRef();
        *out = static_cast<I*>(this);
        return S_OK;
    }
    uint32_t NHXCALL AddRef() override { return ++RefCount; }
    uint32_t NHXCALL Release() override {
        uint32_t remaining = --RefCount;
        if (remaining == 0) {
            delete this;
        }
        return remaining;
    }

  protected:
    virtual ~TNHXObject() = default;
    virtual bool AnswersInterface(const GUID& iid) const = 0;
    int32_t CurrentRefCount() const { return static_cast<int32_t>(RefCount); }

  private:
    uint32_t RefCount = 1;
};

// An object that is a host message sink: messages are not handled.
template <class I>
class TNHXMessageObject : public TNHXObject<I> {
  public:
    NHXResult NHXCALL ReceiveMessage(int32_t) override { return E_FAIL; }
};

// A module instance with the default behaviour of every INHXModule slot.
template <class I>
class TNHXModuleObject : public TNHXMessageObject<I> {
  public:
    NHXResult NHXCALL SetHostRecord(const uint32_t record[4]) override {
        for (int i = 0; i < 4; ++i) {
            HostRecord[i] = record ? record[i] : 0;
        }
        return S_OK;
    }
    NHXResult NHXCALL OpenPage() override { return S_OK; }
    NHXResult NHXCALL ClosePage() override { return S_OK; }
    NHXResult NHXCALL LoadSettings() override { return S_OK; }
    NHXResult NHXCALL SaveSettings() override { return S_OK; }
    int32_t NHXCALL GetRefCount() override { return this->CurrentRefCount(); }

  protected:
    uint32_t HostRecord[4] = {0, 0, 0, 0};
};
