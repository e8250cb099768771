// Writing audit lines to syslog.
#include "common/AuditLog.h"

#include <syslog.h>

#include <cstdio>

namespace {

std::string shown(const std::string& value) {
    if (!value.empty() && value.find_first_of(" \"=\\") == std::string::npos) {
        bool plain = true;
        for (unsigned char c : value) {
            plain = plain && c >= 0x20 && c != 0x7f;
        }
        if (plain) {
            return value;
        }
    }
    std::string quoted = "\"";
    for (unsigned char c : value) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

}  // namespace

void AuditLog::add(const std::string& key, const std::string& value) {
    line_ += (line_.empty() ? "" : " ") + key + "=" + shown(value);
}

void AuditLog::send(int status, const std::string& message) const {
    std::string line = line_ + (line_.empty() ? "" : " ") + "status=" + std::to_string(status);
    if (status != 0) {
        line += " error=" + shown(message);
    }
    openlog(program_.c_str(), LOG_PID, LOG_AUTHPRIV);
    syslog(LOG_AUTHPRIV | (status == 0 ? LOG_INFO : LOG_WARNING), "%s", line.c_str());
    closelog();
}
