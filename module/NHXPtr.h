// Owning handles for the host's counted objects: interface references, texts, byte buffers and
// variable arrays. This is the one place where references are counted by hand; everything else
// holds them in these wrappers.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "UNHXTypes.h"

// One counted reference to an interface. Taking ownership is explicit at the call site:
// Adopt() takes over a reference the caller already owns, Share() adds one of its own.
template <class I>
class TNHXInterfacePtr {
  public:
    TNHXInterfacePtr() = default;
    static TNHXInterfacePtr Adopt(I* p) { return TNHXInterfacePtr(p); }
    static TNHXInterfacePtr Share(I* p) {
        if (p) {
            p->AddRef();
        }
        return TNHXInterfacePtr(p);
    }
    TNHXInterfacePtr(const TNHXInterfacePtr& other) : Ptr(other.Ptr) {
        if (Ptr) {
            Ptr->AddRef();
        }
    }
    TNHXInterfacePtr(TNHXInterfacePtr&& other) noexcept : Ptr(std::exchange(other.Ptr, nullptr)) {}
    TNHXInterfacePtr& operator=(TNHXInterfacePtr other) noexcept {
        std::swap(Ptr, other.Ptr);
        return *this;
    }
    ~TNHXInterfacePtr() { Reset(); }

    void Reset() {
        if (I* p = std::exchange(Ptr, nullptr)) {
            p->Release();
        }
    }
    I* Get() const { return Ptr; }
    I* operator->() const { return Ptr; }
    explicit operator bool() const { return Ptr != nullptr; }

    // For an out-parameter of type I**: drops the current reference and lets the callee store
    // a new one, which this handle then owns.
    I** Out() {
        Reset();
        return &Ptr;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }

    // Hands the reference to a caller's out-parameter.
    I* Detach() { return std::exchange(Ptr, nullptr); }

  private:
    explicit TNHXInterfacePtr(I* p) : Ptr(p) {}
    I* Ptr = nullptr;
};

// Asks `source` for interface `Target` under `iid`; an empty handle when it is not supported.
template <class Target, class Source>
TNHXInterfacePtr<Target> NHXQuery(Source* source, const GUID& iid) {
    TNHXInterfacePtr<Target> result;
    if (source && NHXFailed(source->QueryInterface(&iid, result.OutVoid()))) {
        result.Reset();
    }
    return result;
}

// One reference to a host text.
class TNHXTextRef {
  public:
    TNHXTextRef() = default;
    explicit TNHXTextRef(std::string_view bytes) : Text(NHXTextNew(bytes.data(), bytes.size())) {}
    static TNHXTextRef Adopt(NHXText t) {
        TNHXTextRef r;
        r.Text = t;
        return r;
    }
    static TNHXTextRef Share(NHXText t) {
        NHXTextAddRef(t);
        return Adopt(t);
    }
    TNHXTextRef(const TNHXTextRef& other) : Text(other.Text) { NHXTextAddRef(Text); }
    TNHXTextRef(TNHXTextRef&& other) noexcept : Text(std::exchange(other.Text, nullptr)) {}
    TNHXTextRef& operator=(TNHXTextRef other) noexcept {
        std::swap(Text, other.Text);
        return *this;
    }
    ~TNHXTextRef() { NHXTextRelease(Text); }

    NHXText Get() const { return Text; }
    uint32_t Length() const { return NHXTextLength(Text); }
    std::string Str() const {
        return Text ? std::string(Text, NHXTextLength(Text)) : std::string();
    }
    NHXText* Out() {
        NHXTextRelease(std::exchange(Text, nullptr));
        return &Text;
    }
    // Hands the reference to a caller's out-parameter.
    NHXText Detach() { return std::exchange(Text, nullptr); }

  private:
    NHXText Text = nullptr;
};

inline std::string NHXTextToString(NHXText t) {
    return t ? std::string(t, NHXTextLength(t)) : std::string();
}

// One reference to a counted byte buffer.
class TNHXBytesRef {
  public:
    TNHXBytesRef() = default;
    TNHXBytesRef(const TNHXBytesRef&) = delete;
    TNHXBytesRef& operator=(const TNHXBytesRef&) = delete;
    TNHXBytesRef(TNHXBytesRef&& other) noexcept : Bytes(std::exchange(other.Bytes, nullptr)) {}
    ~TNHXBytesRef() { NHXBytesRelease(Bytes); }
    NHXBytes Get() const { return Bytes; }
    uint32_t Length() const { return NHXBufferLength(Bytes); }
    NHXBytes* Out() {
        NHXBytesRelease(std::exchange(Bytes, nullptr));
        return &Bytes;
    }

  private:
    NHXBytes Bytes = nullptr;
};

// One reference to a counted array of variables.
class TNHXVariablesRef {
  public:
    TNHXVariablesRef() = default;
    static TNHXVariablesRef Adopt(TNHXVariables v) {
        TNHXVariablesRef r;
        r.Vars = v;
        return r;
    }
    TNHXVariablesRef(const TNHXVariablesRef&) = delete;
    TNHXVariablesRef& operator=(const TNHXVariablesRef&) = delete;
    TNHXVariablesRef(TNHXVariablesRef&& other) noexcept
        : Vars(std::exchange(other.Vars, nullptr)) {}
    TNHXVariablesRef& operator=(TNHXVariablesRef&& other) noexcept {
        std::swap(Vars, other.Vars);
        return *this;
    }
    ~TNHXVariablesRef() { NHXVariablesRelease(Vars); }
    TNHXVariables Get() const { return Vars; }
    uint32_t Count() const { return NHXVariablesCount(Vars); }
    TNHXVariables* Out() {
        NHXVariablesRelease(std::exchange(Vars, nullptr));
        return &Vars;
    }
    TNHXVariable& operator[](uint32_t i) const { return Vars[i]; }
    // Hands the reference to a caller's out-parameter.
    TNHXVariables Detach() { return std::exchange(Vars, nullptr); }

  private:
    TNHXVariables Vars = nullptr;
};

// One reference to a counted text array.
class TNHXTextArrayRef {
  public:
    explicit TNHXTextArrayRef(std::initializer_list<std::string_view> items) {
        std::vector<TNHXTextRef> texts;
        std::vector<NHXText> raw;
        for (auto item : items) {
            texts.emplace_back(item);
            raw.push_back(texts.back().Get());
        }
        Array = NHXTextArrayNew(raw.data(), static_cast<uint32_t>(raw.size()));
    }
    TNHXTextArrayRef(const TNHXTextArrayRef&) = delete;
    TNHXTextArrayRef& operator=(const TNHXTextArrayRef&) = delete;
    ~TNHXTextArrayRef() { NHXTextArrayRelease(Array); }
    NHXTextArray Get() const { return Array; }

  private:
    NHXTextArray Array = nullptr;
};
