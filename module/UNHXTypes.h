// The binary contract between the NHX host and its modules: interfaces, their GUIDs and slot
// order, result codes, the host's counted texts and arrays, and the records that cross the
// boundary. Host and module both compile against this file and nothing else of each other, so it
// uses only the C and C++ standard headers and compiles for 32-bit targets as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// Calling convention of every interface slot and exported entry.
#if defined(_WIN32) && !defined(_WIN64)
#define NHXCALL __stdcall
#else
#define NHXCALL
#endif

#if defined(_WIN32)
#define NHX_EXPORT extern "C" __declspec(dllexport)
#else
#define NHX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// ---- Result codes (COM HRESULT convention: negative is failure) ----
using NHXResult = int32_t;
constexpr NHXResult S_OK = 0;
constexpr NHXResult E_NOTIMPL = static_cast<NHXResult>(0x80004001u);
constexpr NHXResult E_NOINTERFACE = static_cast<NHXResult>(0x80004002u);
constexpr NHXResult E_FAIL = static_cast<NHXResult>(0x80004005u);

inline bool NHXSucceeded(NHXResult r) {
    return r >= 0;
}
inline bool NHXFailed(NHXResult r) {
    return r < 0;
}

// ---- Log kinds ----
constexpr int32_t NHX_LOG_NOTICE = 10021;
constexpr int32_t NHX_LOG_ERROR = 10024;

// ---- Host variable type codes ----
constexpr uint8_t NHX_VAR_BOOLEAN = 0;
constexpr uint8_t NHX_VAR_STRING = 3;

// ---- GUID: the Windows layout ----
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);

inline bool operator==(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// clang-format off
constexpr GUID IID_IUnknown            = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID IID_INHXMessageSink     = {0x4AB6071E, 0xF8D1, 0x4968, {0xA4, 0x32, 0x17, 0x75, 0x1D, 0x07, 0x1B, 0xF8}};
constexpr GUID IID_INHXKernel          = {0xBCB79E07, 0x1AA9, 0x42B1, {0xB1, 0x54, 0xED, 0xC5, 0xAF, 0xB5, 0x0D, 0x37}};
constexpr GUID IID_INHXEventScripter   = {0xED275B5F, 0x4944, 0x4B37, {0x92, 0x0F, 0x49, 0x8C, 0x1A, 0xFF, 0xB1, 0x4F}};
constexpr GUID IID_INHXVariableManager = {0x5528E859, 0x0D7D, 0x41CE, {0x9E, 0x82, 0xD7, 0xCF, 0x50, 0x22, 0x8A, 0x5B}};
constexpr GUID IID_INHXSettings        = {0x2058C7E1, 0xD444, 0x4EB1, {0xB6, 0x7A, 0xFD, 0x48, 0xDB, 0xA7, 0xD0, 0x6F}};
constexpr GUID IID_INHXInstanceControl = {0x0D8CEA36, 0xDFA4, 0x4576, {0xAC, 0xC8, 0x56, 0x75, 0x04, 0x2D, 0x75, 0x99}};
constexpr GUID IID_INHXModuleLoader    = {0x9A0F6FD4, 0x1719, 0x451D, {0x90, 0x0D, 0xC1, 0x32, 0x50, 0x99, 0x57, 0x53}};
constexpr GUID IID_INHXAddInLibrary    = {0xD8C89221, 0x3576, 0x4BB5, {0xA0, 0xC3, 0x73, 0x1B, 0x26, 0xFE, 0xC8, 0x5F}};
constexpr GUID IID_INHXDebugServer     = {0xCA3F512F, 0xB1FB, 0x4D2E, {0x94, 0xD8, 0x47, 0xC4, 0x13, 0x95, 0x55, 0xB7}};
constexpr GUID IID_INHXSelector        = {0x1C8663C5, 0x1DBD, 0x41DD, {0x94, 0x5A, 0xC4, 0xC8, 0x35, 0x73, 0x77, 0x33}};
constexpr GUID IID_INHXModule          = {0x551860D7, 0x8E44, 0x430B, {0x8C, 0x44, 0xCB, 0xB5, 0xAA, 0x70, 0x84, 0x70}};
constexpr GUID IID_INHXMondrel         = {0x5A281D97, 0x2826, 0x4061, {0x93, 0xDC, 0xBD, 0xA1, 0xA3, 0xFD, 0x98, 0x5E}};
constexpr GUID IID_INHXAddInPlugin     = {0x2CA46471, 0xF621, 0x439F, {0x9D, 0xBA, 0x4F, 0x24, 0x6E, 0xFC, 0xB0, 0x96}};
constexpr GUID IID_INHXMondrelAddIn    = {0xC2C382AE, 0xDFF2, 0x47B8, {0x95, 0xC3, 0x8B, 0xF7, 0xCE, 0xFA, 0x2D, 0xF7}};
// clang-format on

// The selector module of the host is identified by the same GUID as its interface.
constexpr GUID CLSID_NHXSelectorModule = IID_INHXSelector;
// The Mondrel module's GUID is also the GUID of its instance interface.
constexpr GUID CLSID_Mondrel = IID_INHXMondrel;

// ---- Host text and counted buffers ----
// A host text points at the bytes of an immutable malloc'ed block laid out as
//   [int32 refcount][uint32 length][bytes...][0]
// with the pointer at the first byte. Null is the empty text. Counted arrays use the same
// header with the element count in place of the length. Only the helpers below touch the header.
using NHXText = const char*;
using NHXBytes = const uint8_t*;
using NHXTextArray = const NHXText*;

struct NHXBufferHeader {
    int32_t RefCount;
    uint32_t Length;
};
static_assert(sizeof(NHXBufferHeader) == 8);

inline NHXBufferHeader* NHXHeaderOf(const void* p) {
    return reinterpret_cast<NHXBufferHeader*>(const_cast<char*>(static_cast<const char*>(p)) - 8);
}

// Allocates a block of `bytes` payload bytes (plus a trailing zero) with refcount 1 and the
// given length field. Answers null when `bytes` is 0 and `length` is 0, the empty text.
inline void* NHXAllocBuffer(size_t bytes, uint32_t length) {
    char* block = static_cast<char*>(std::malloc(8 + bytes + 1));
    if (!block) {
        return nullptr;
    }
    auto* header = reinterpret_cast<NHXBufferHeader*>(block);
    header->RefCount = 1;
    header->Length = length;
    std::memset(block + 8, 0, bytes + 1);
    return block + 8;
}

inline uint32_t NHXBufferLength(const void* p) {
    return p ? NHXHeaderOf(p)->Length : 0;
}

inline void NHXBufferAddRef(const void* p) {
    if (p) {
        ++NHXHeaderOf(p)->RefCount;
    }
}

// Drops one reference; answers true when this was the last one and the block was freed.
inline bool NHXBufferRelease(const void* p) {
    if (!p) {
        return false;
    }
    NHXBufferHeader* header = NHXHeaderOf(p);
    if (--header->RefCount > 0) {
        return false;
    }
    std::free(header);
    return true;
}

// A new text holding a copy of `length` bytes; the empty text for length 0.
inline NHXText NHXTextNew(const char* bytes, size_t length) {
    if (length == 0) {
        return nullptr;
    }
    void* p = NHXAllocBuffer(length, static_cast<uint32_t>(length));
    if (p) {
        std::memcpy(p, bytes, length);
    }
    return static_cast<NHXText>(p);
}
inline NHXText NHXTextNew(const char* zeroTerminated) {
    return zeroTerminated ? NHXTextNew(zeroTerminated, std::strlen(zeroTerminated)) : nullptr;
}

inline uint32_t NHXTextLength(NHXText t) {
    return NHXBufferLength(t);
}
inline void NHXTextAddRef(NHXText t) {
    NHXBufferAddRef(t);
}
inline void NHXTextRelease(NHXText t) {
    NHXBufferRelease(t);
}

// A new counted byte buffer holding a copy of the bytes.
inline NHXBytes NHXBytesNew(const void* bytes, size_t length) {
    if (length == 0) {
        return nullptr;
    }
    void* p = NHXAllocBuffer(length, static_cast<uint32_t>(length));
    if (p) {
        std::memcpy(p, bytes, length);
    }
    return static_cast<NHXBytes>(p);
}
inline void NHXBytesRelease(NHXBytes b) {
    NHXBufferRelease(b);
}

// A new array of `count` texts, each a new reference to the given text.
inline NHXTextArray NHXTextArrayNew(const NHXText* texts, uint32_t count) {
    if (count == 0) {
        return nullptr;
    }
    auto* items = static_cast<NHXText*>(NHXAllocBuffer(sizeof(NHXText) * count, count));
    if (!items) {
        return nullptr;
    }
    for (uint32_t i = 0; i < count; ++i) {
        items[i] = texts[i];
        NHXTextAddRef(texts[i]);
    }
    return items;
}
inline void NHXTextArrayRelease(NHXTextArray a) {
    if (!a) {
        return;
    }
    uint32_t count = NHXBufferLength(a);
    if (NHXHeaderOf(a)->RefCount == 1) {
        for (uint32_t i = 0; i < count; ++i) {
            NHXTextRelease(a[i]);
        }
    }
    NHXBufferRelease(a);
}

// ---- Interfaces ----
// Abstract classes with pure virtual slots only, in slot order. Reserved slots keep the numbering
// where the contract names only some operations of an interface.

struct INHXUnknown {
    virtual NHXResult NHXCALL QueryInterface(const GUID* iid, void** out) = 0;  // 0
    virtual uint32_t NHXCALL AddRef() = 0;                                      // 1
    virtual uint32_t NHXCALL Release() = 0;                                     // 2
};

struct INHXMessageSink : INHXUnknown {
    virtual NHXResult NHXCALL ReceiveMessage(int32_t message) = 0;  // 3
};

struct INHXKernel : INHXMessageSink {
    virtual NHXResult NHXCALL Reserved4() = 0;
    virtual NHXResult NHXCALL Reserved5() = 0;
    virtual NHXResult NHXCALL Reserved6() = 0;
    virtual NHXResult NHXCALL LogMessage(int32_t kind, NHXText sender, NHXText text) = 0;  // 7
    virtual NHXResult NHXCALL Reserved8() = 0;
    virtual NHXResult NHXCALL Reserved9() = 0;
    virtual NHXResult NHXCALL GetKernelDir(NHXText* out) = 0;  // 10
};

struct TNHXScriptParams;
struct TNHXVariable;
using TNHXVariables = TNHXVariable*;  // counted array, header at -8

struct INHXEventScripter : INHXMessageSink {
    virtual NHXResult NHXCALL Reserved4() = 0;
    virtual NHXResult NHXCALL Reserved5() = 0;
    virtual NHXResult NHXCALL Reserved6() = 0;
    virtual NHXResult NHXCALL RunScript(NHXText script, NHXText sender, int32_t reserved,
                                        const TNHXScriptParams* params,
                                        int32_t reserved2) = 0;  // 7
    virtual NHXResult NHXCALL Reserved8() = 0;
    virtual NHXResult NHXCALL LookupScript(NHXText script, NHXText* out) = 0;  // 9
};

struct INHXVariableManager : INHXMessageSink {
    virtual NHXResult NHXCALL CreateVariable(NHXText name, uint8_t type) = 0;  // 4
    virtual NHXResult NHXCALL Reserved5() = 0;
    virtual NHXResult NHXCALL Reserved6() = 0;
    virtual NHXResult NHXCALL WriteBoolean(NHXText name, bool value) = 0;  // 7
    virtual NHXResult NHXCALL Reserved8() = 0;
    virtual NHXResult NHXCALL Reserved9() = 0;
    virtual NHXResult NHXCALL Reserved10() = 0;
    virtual NHXResult NHXCALL Reserved11() = 0;
    virtual NHXResult NHXCALL Reserved12() = 0;
    virtual NHXResult NHXCALL WriteString(NHXText name, NHXText value) = 0;  // 13
    virtual NHXResult NHXCALL Reserved14() = 0;
    virtual NHXResult NHXCALL Reserved15() = 0;
    virtual NHXResult NHXCALL Reserved16() = 0;
    virtual NHXResult NHXCALL GetVariables(TNHXVariables* out, int32_t* count) = 0;  // 17
};

struct INHXSettings : INHXMessageSink {
    virtual NHXResult NHXCALL Reserved4() = 0;
    virtual NHXResult NHXCALL Reserved5() = 0;
    virtual NHXResult NHXCALL Reserved6() = 0;
    virtual NHXResult NHXCALL Reserved7() = 0;
    virtual NHXResult NHXCALL Reserved8() = 0;
    virtual NHXResult NHXCALL Reserved9() = 0;
    virtual NHXResult NHXCALL Reserved10() = 0;
    virtual NHXResult NHXCALL Reserved11() = 0;
    virtual NHXResult NHXCALL Reserved12() = 0;
    virtual NHXResult NHXCALL Reserved13() = 0;
    virtual NHXResult NHXCALL Reserved14() = 0;
    virtual NHXResult NHXCALL Reserved15() = 0;
    virtual NHXResult NHXCALL ReadString(uint16_t instance, NHXTextArray section, NHXText key,
                                         NHXText* out) = 0;  // 16
};

struct TNHXModuleInstance;

struct INHXInstanceControl : INHXMessageSink {
    virtual NHXResult NHXCALL CreateInstance(const GUID* module, TNHXModuleInstance* out,
                                             int32_t reserved) = 0;   // 4
    virtual NHXResult NHXCALL DeleteInstance(uint16_t instance) = 0;  // 5
};

struct INHXModuleLoader : INHXMessageSink {
    virtual NHXResult NHXCALL Reserved4() = 0;
    virtual NHXResult NHXCALL Reserved5() = 0;
    virtual NHXResult NHXCALL Reserved6() = 0;
    virtual NHXResult NHXCALL Reserved7() = 0;
    virtual NHXResult NHXCALL Reserved8() = 0;
    virtual NHXResult NHXCALL FindModule(const GUID* module, int32_t* out) = 0;  // 9
};

struct TNHXAddIn;

struct INHXAddInLibrary : INHXMessageSink {
    virtual NHXResult NHXCALL RegisterAddIn(const TNHXAddIn* addIn) = 0;    // 4
    virtual NHXResult NHXCALL UnregisterAddIn(const TNHXAddIn* addIn) = 0;  // 5
};

// Obtained by the instance and kept, never called.
struct INHXDebugServer : INHXMessageSink {};

struct TNHXMondrelSettings;

struct INHXModule : INHXMessageSink {
    virtual NHXResult NHXCALL SetHostRecord(const uint32_t record[4]) = 0;  // 4
    virtual NHXResult NHXCALL OpenPage() = 0;                               // 5
    virtual NHXResult NHXCALL ClosePage() = 0;                              // 6
    virtual NHXResult NHXCALL LoadSettings() = 0;                           // 7
    virtual NHXResult NHXCALL SaveSettings() = 0;                           // 8
    virtual int32_t NHXCALL GetRefCount() = 0;                              // 9
};

struct INHXMondrel : INHXModule {
    virtual NHXResult NHXCALL GetSettings(TNHXMondrelSettings* out) = 0;       // 10
    virtual NHXResult NHXCALL SetSettings(const TNHXMondrelSettings* in) = 0;  // 11
};

// The host's picker module.
struct INHXSelector : INHXModule {
    virtual NHXResult NHXCALL SelectVariable(uint8_t types, NHXText* out) = 0;  // 10
    virtual NHXResult NHXCALL SelectScript(NHXText* out) = 0;                   // 11
};

struct INHXAddInPlugin : INHXUnknown {};

struct INHXMondrelAddIn : INHXAddInPlugin {
    virtual NHXResult NHXCALL GetName(NHXText* out) = 0;         // 3
    virtual NHXResult NHXCALL GetDescription(NHXText* out) = 0;  // 4
    virtual NHXResult NHXCALL GetBitmap(NHXBytes* out) = 0;      // 5
    virtual NHXResult NHXCALL Open() = 0;                        // 6
};

// ---- Records ----

using NHXRegisterFunc = NHXResult(NHXCALL*)(INHXKernel* kernel);
using NHXUnregisterFunc = NHXResult(NHXCALL*)();
using NHXCreateInstanceFunc = NHXResult(NHXCALL*)(uint16_t instance, INHXModule** out);

struct TNHXModuleInfo {
    GUID ModuleID;
    GUID SecondID;
    uint8_t Reserved[84];
    NHXText Author;
    NHXText Unnamed;
    NHXText ModuleName;
    NHXText Project;
    uint32_t VersionInfo;
    double Stamp;
    int32_t Build;
    NHXRegisterFunc Register;
    NHXUnregisterFunc Unregister;
    NHXCreateInstanceFunc CreateInstance;
};

// The one exported entry of a module, as the loader sees it.
using NHXModuleInfoFunc = NHXResult(NHXCALL*)(const TNHXModuleInfo** out);
constexpr const char* NHX_MODULE_INFO_SYMBOL = "NHXModuleInfo";

struct TNHXVariable {
    NHXText Name;
    uint8_t TypeCode;
    NHXText Extra;
    uint32_t HostField;
    double Updated;
    uint32_t HostFields[3];
    NHXText ValueText;
};

struct TNHXScriptParams {
    uint8_t Kind;
    NHXText Text1;
    TNHXVariables Variables;
    NHXText Text2;
    int32_t Value1;
    int32_t Value2;
};

struct TNHXAddIn {
    GUID AddInID;
    GUID ModuleID;
    int32_t Flags;
    INHXAddInPlugin* Plugin;
};

struct TNHXModuleInstance {
    uint16_t InstanceID;
    INHXModule* Module;
    uint8_t HostData[336];
};

struct TNHXMondrelSettings {
    NHXText Database;
};

// A new counted array of `count` zeroed variables.
inline TNHXVariables NHXVariablesNew(uint32_t count) {
    if (count == 0) {
        return nullptr;
    }
    return static_cast<TNHXVariables>(NHXAllocBuffer(sizeof(TNHXVariable) * count, count));
}
inline uint32_t NHXVariablesCount(const TNHXVariable* v) {
    return NHXBufferLength(v);
}
// Drops a reference to the array; the last one releases the texts its elements hold.
inline void NHXVariablesRelease(TNHXVariables v) {
    if (!v) {
        return;
    }
    if (NHXHeaderOf(v)->RefCount == 1) {
        uint32_t count = NHXBufferLength(v);
        for (uint32_t i = 0; i < count; ++i) {
            NHXTextRelease(v[i].Name);
            NHXTextRelease(v[i].Extra);
            NHXTextRelease(v[i].ValueText);
        }
    }
    NHXBufferRelease(v);
}

// Record layouts are fixed on 32-bit targets; 64-bit targets widen pointer fields naturally.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(TNHXModuleInfo) == 160);
static_assert(offsetof(TNHXModuleInfo, SecondID) == 16);
static_assert(offsetof(TNHXModuleInfo, Author) == 116);
static_assert(offsetof(TNHXModuleInfo, Unnamed) == 120);
static_assert(offsetof(TNHXModuleInfo, ModuleName) == 124);
static_assert(offsetof(TNHXModuleInfo, Project) == 128);
static_assert(offsetof(TNHXModuleInfo, VersionInfo) == 132);
static_assert(offsetof(TNHXModuleInfo, Stamp) == 136);
static_assert(offsetof(TNHXModuleInfo, Build) == 144);
static_assert(offsetof(TNHXModuleInfo, Register) == 148);
static_assert(offsetof(TNHXModuleInfo, Unregister) == 152);
static_assert(offsetof(TNHXModuleInfo, CreateInstance) == 156);

static_assert(sizeof(TNHXVariable) == 40);
static_assert(offsetof(TNHXVariable, TypeCode) == 4);
static_assert(offsetof(TNHXVariable, Extra) == 8);
static_assert(offsetof(TNHXVariable, HostField) == 12);
static_assert(offsetof(TNHXVariable, Updated) == 16);
static_assert(offsetof(TNHXVariable, HostFields) == 24);
static_assert(offsetof(TNHXVariable, ValueText) == 36);

static_assert(sizeof(TNHXScriptParams) == 24);
static_assert(offsetof(TNHXScriptParams, Text1) == 4);
static_assert(offsetof(TNHXScriptParams, Variables) == 8);
static_assert(offsetof(TNHXScriptParams, Text2) == 12);
static_assert(offsetof(TNHXScriptParams, Value1) == 16);
static_assert(offsetof(TNHXScriptParams, Value2) == 20);

static_assert(sizeof(TNHXAddIn) == 40);
static_assert(offsetof(TNHXAddIn, ModuleID) == 16);
static_assert(offsetof(TNHXAddIn, Flags) == 32);
static_assert(offsetof(TNHXAddIn, Plugin) == 36);

static_assert(sizeof(TNHXModuleInstance) == 344);
static_assert(offsetof(TNHXModuleInstance, Module) == 4);
static_assert(offsetof(TNHXModuleInstance, HostData) == 8);

static_assert(sizeof(TNHXMondrelSettings) == 4);
#endif
