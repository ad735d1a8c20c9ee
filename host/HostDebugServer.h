// The host's debug server: modules obtain it; it offers nothing beyond the message sink.
#pragma once

#include "NHXObjects.h"

class THostDebugServer final : public TNHXMessageObject<INHXDebugServer> {
  protected:
    bool AnswersInterface(const GUID& iid) const override;
};
