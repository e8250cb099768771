// Logging a change.
#include "modacct/ChangeAudit.h"

#include "common/AuditLog.h"
#include "modacct/ChangeEngine.h"

void auditChange(const std::string& admin, const std::string& login, const ChangeResult& result,
                 const std::string& program) {
    AuditLog log(program);
    log.add("by", admin);
    log.add("uid", login);
    if (result.status == 0) {
        log.add("changed", result.changed);
    }
    log.send(result.status, result.message);
}
