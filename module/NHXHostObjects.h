// Base objects for a host's services: each answers the reserved slots of its interface with
// E_NOTIMPL, so a host (the stand-in host, the benchmarks' counting host) writes only the slots
// it serves.
#pragma once

#include "NHXObjects.h"

class TNHXKernelObject : public TNHXMessageObject<INHXKernel> {
  public:
    NHXResult NHXCALL Reserved4() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved5() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved6() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved8() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved9() override { return E_NOTIMPL; }
};

class TNHXEventScripterObject : public TNHXMessageObject<INHXEventScripter> {
  public:
    NHXResult NHXCALL Reserved4() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved5() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved6() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved8() override { return E_NOTIMPL; }
};

class TNHXVariableManagerObject : public TNHXMessageObject<INHXVariableManager> {
  public:
    NHXResult NHXCALL Reserved5() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved6() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved8() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved9() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved10() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved11() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved12() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved14() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved15() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved16() override { return E_NOTIMPL; }
};

class TNHXSettingsObject : public TNHXMessageObject<INHXSettings> {
  public:
    NHXResult NHXCALL Reserved4() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved5() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved6() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved7() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved8() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved9() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved10() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved11() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved12() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved13() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved14() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved15() override { return E_NOTIMPL; }
};

class TNHXModuleLoaderObject : public TNHXMessageObject<INHXModuleLoader> {
  public:
    NHXResult NHXCALL Reserved4() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved5() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved6() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved7() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved8() override { return E_NOTIMPL; }
};
