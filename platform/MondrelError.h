// The module's exception types. Everything the module raises derives from EMondrelError, which
// carries one message; entry points from the host and the event loop catch it and show it
// through the default error report.
#pragma once

#include <stdexcept>
#include <string>

class EMondrelError : public std::runtime_error {
  public:
    explicit EMondrelError(const std::string& message) : std::runtime_error(message) {}
};

// A text that does not convert to the value it should hold (a date, a time, a number).
class EConvertError : public EMondrelError {
  public:
    using EMondrelError::EMondrelError;
};
