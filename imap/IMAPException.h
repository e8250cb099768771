// The IMAP client's one error: a complete message text, usually
// "<operation> failed: Serverresponse: <detail>".
#pragma once

#include <string>

class IMAPException {
  public:
    explicit IMAPException(std::string message) : message(std::move(message)) {}
    IMAPException(const std::string& label, const std::string& detail)
        : message(label + " failed: Serverresponse: " + detail) {}

    std::string message;
};
