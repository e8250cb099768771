// The audit trail: one line per account and run in the system log, with
// facility authpriv, as useradd and userdel write theirs. Never a password.
//
//   newacct[PID]: by=admin uid=jdoe uidnumber=2003 gid=100 home=/home/jdoe status=0
//   dropacct[PID]: by=admin uid=jdoe stages=ldap,sieve,imap entries=3 ... status=241
//       error="failed to delete user from ldap: ..."
#pragma once

#include <string>

class AuditLog {
  public:
    explicit AuditLog(std::string program) : program_(std::move(program)) {}

    // Appends "key=value" (quoted when the value holds blanks, quotes,
    // equals signs or control characters).
    void add(const std::string& key, const std::string& value);
    // Logs the line with the exit status and, for a failure, the message:
    // at LOG_INFO for status 0, at LOG_WARNING otherwise.
    void send(int status, const std::string& message) const;

  private:
    std::string program_;
    std::string line_;
};
