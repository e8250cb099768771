// modacct's audit line, one per account and run, as the other programs log
// theirs (syslog, authpriv), naming what changed and never a password:
//
//   modacct[PID]: by=admin uid=jdoe changed=class,mail,password status=0
#pragma once

#include <string>

struct ChangeResult;

// The line of `login`'s change, logged under the name of `program`.
void auditChange(const std::string& admin, const std::string& login, const ChangeResult& result,
                 const std::string& program = "modacct");
