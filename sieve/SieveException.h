// The Sieve client's one error: a complete message text, usually
// "<operation> failed: Serverresponse: <detail>".
#pragma once

#include <string>

class SieveException {
  public:
    SieveException(const std::string& label, const std::string& detail)
        : message(label + " failed: Serverresponse: " + detail) {}

    std::string message;
};
