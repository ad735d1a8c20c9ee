#include "DavWriteBack.h"

TDavWriteBack WriteBack(TCalDavClient& Client, const TRunOptions& Run, TDavState& State,
                        std::map<std::string, TDavEvent>& Events) {
    (void)Client;
    (void)Run;
    (void)State;
    (void)Events;
    return {};
}
