#include "HostDebugServer.h"

bool THostDebugServer::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXDebugServer || iid == IID_INHXMessageSink || iid == IID_IUnknown;
}
