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

// The server sent the session elsewhere (a REFERRAL in a NO or BYE): the
// work is to be done again at `url`.
class SieveReferral : public SieveException {
  public:
    SieveReferral(const std::string& label, const std::string& detail, std::string url)
        : SieveException(label, detail), url(std::move(url)) {}

    std::string url;
};
