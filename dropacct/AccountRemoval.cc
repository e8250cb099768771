// One account of a removal run and its audit line.
#include "dropacct/AccountRemoval.h"

#include "common/AuditLog.h"
#include "common/LoginName.h"
#include "dropacct/RemovalSettings.h"

AccountRemoval::AccountRemoval(const std::string& listedAs)
    : uid_(lowerCaseLogin(listedAs)), listedAs_(listedAs) {}

void AccountRemoval::fail(const MyException& error) {
    if (!failure_) {
        failure_ = error;
    }
}

void AccountRemoval::audit(const RemovalSettings& settings, const std::string& program) const {
    AuditLog log(program);
    log.add("by", settings.adminLogin);
    log.add("uid", uid_);
    log.add("stages", settings.stageNames());
    log.add("entries", std::to_string(removed.entries));
    log.add("memberships", std::to_string(removed.memberships));
    log.add("acl", std::to_string(removed.acls));
    log.add("mailboxes", std::to_string(removed.mailboxes));
    log.add("scripts", std::to_string(removed.scripts));
    log.send(failure_ ? failure_->code & 0xff : 0, failure_ ? failure_->message : "");
}

std::vector<AccountRemoval*> stillGoing(const std::vector<AccountRemoval*>& accounts) {
    std::vector<AccountRemoval*> going;
    for (AccountRemoval* account : accounts) {
        if (account->going()) {
            going.push_back(account);
        }
    }
    return going;
}
