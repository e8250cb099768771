// Refusing logins that hold the hierarchy separator.
#include "dropacct/LoginSeparator.h"

#include "dropacct/AccountRemoval.h"

namespace {
const char kCyrusSeparators[] = "./";
}  // namespace

bool mayHoldSeparator(const std::string& login) {
    return login.find_first_of(kCyrusSeparators) != std::string::npos;
}

bool anyMayHoldSeparator(const std::vector<AccountRemoval*>& accounts) {
    for (const AccountRemoval* account : accounts) {
        if (account->going() && mayHoldSeparator(account->uid())) {
            return true;
        }
    }
    return false;
}

void refuseSeparatorLogins(const std::vector<AccountRemoval*>& accounts,
                           const std::string& separators) {
    for (AccountRemoval* account : stillGoing(accounts)) {
        const size_t at = account->uid().find_first_of(separators);
        if (separators.empty() || at == std::string::npos) {
            continue;
        }
        account->fail(MyException(
            kLoginHoldsSeparator,
            "uid " + account->uid() + " holds the mail server's hierarchy separator \"" +
                account->uid()[at] +
                "\": it names a folder of another user, not a user of its own; nothing was "
                "removed from the mail servers"));
    }
}
