// What newacct learns from the directory before writing: whether the mail
// address and aliases are free, the first free user ID, the password hash
// and the user's access-control item.
#include <algorithm>
#include <vector>

#include "account/AddressHolders.h"
#include "account/BatchLedger.h"
#include "account/DirectorySession.h"
#include "account/Passwords.h"
#include "common/AdminSession.h"
#include "common/MyException.h"
#include "ldap/LDAPException.h"
#include "newacct/NewAcct.h"

DirectoryParams NewAcct::directoryParams() const {
    return DirectoryParams{
        host_, port_, baseDN_, adminLogin_, adminPassword_, tls_.directory(), answerWaitMs_};
}

void NewAcct::ldapBind() {
    ownSession_ = std::make_unique<DirectorySession>(directoryParams());
    session_ = ownSession_.get();
    ownSession_->bind();
}

void NewAcct::useSession(DirectorySession& session, BatchLedger* ledger) {
    session_ = &session;
    ledger_ = ledger;
}

LDAPConnection* NewAcct::connection() const {
    return session_ ? session_->connection() : nullptr;
}

void NewAcct::unbind() {
    if (ownSession_) {
        ownSession_->unbind();
    }
}

bool NewAcct::addressFree(const std::string& address) {
    return ledger_ ? ledger_->addressFree(address, login_) : isAddressUnique(address);
}

bool NewAcct::isAddressUnique(std::string address) {
    return ::isAddressUnique(connection(), baseDN_, address, login_);
}

void NewAcct::checkMailUnique() {
    if (!addressFree(mail_.substr(0, mail_.find('@')))) {
        throw MyException(-16, "Address " + mail_ + " already exists. Aborted");
    }
}

void NewAcct::checkAliases() {
    for (const std::string& alias : aliases_) {
        if (!addressFree(alias)) {
            throw MyException(-16, "Alias " + alias + " already exists. Aborted");
        }
    }
}

unsigned firstFreeUidNumber(std::vector<long> used) {
    std::sort(used.begin(), used.end());
    long last = 2000;
    for (long number : used) {
        if (number <= 2000)
            continue;
        if (last + 1 < number)
            break;
        last = number;
    }
    return static_cast<unsigned>(last + 1);
}

unsigned NewAcct::scanFirstFreeUidNumber() {
    LDAPConnection* const directory = connection();
    if (!directory) {
        throw MyException(-12, "search failed");
    }
    // Only numbers above 2000 matter; the entries themselves are read one at
    // a time and dropped.
    std::vector<long> used;
    try {
        std::unique_ptr<LDAPSearchResults> results = directory->search(
            baseDN_, LDAPConnection::SEARCH_ONE, "(& (objectClass=posixAccount)(uidNumber=*))",
            StringList{"uidNumber"});
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            for (const LDAPAttribute& attribute : *entry->getAttributes()) {
                if (attribute.getValues().empty())
                    continue;
                const long number = std::strtol(attribute.getValues().front().c_str(), nullptr, 10);
                if (number > 2000)
                    used.push_back(number);
            }
        }
    } catch (const LDAPException&) {
        throw MyException(-12, "search failed");
    }
    return firstFreeUidNumber(std::move(used));
}

void NewAcct::initUidNumber() {
    if (uidNumber_ == 0) {
        uidNumber_ = ledger_ ? ledger_->firstFreeNumber() : scanFirstFreeUidNumber();
        uidNumberChosen_ = true;
    }
    addAttribute("uidnumber", std::to_string(uidNumber_));
}

void NewAcct::preparePassword() {
    if (passwordHashed_) {
        return;
    }
    if (makesPassword()) {
        madePassword_ = makePassword();
        userPassword_ = madePassword_;
    }
    // A value that names its scheme ({SSHA}, {crypt}, ...) is stored as given.
    if (userPassword_.empty() || userPassword_[0] != '{' ||
        userPassword_.find('}') == std::string::npos || userPassword_.find('}') == 1) {
        userPassword_ = hashPassword(userPassword_);
    }
    passwordHashed_ = true;
}

void NewAcct::initUserPwd() {
    preparePassword();
    addAttribute("userpassword", userPassword_);
}

void NewAcct::initUserAci() {
    if (ledger_ && ledger_->userAci) {
        for (const std::string& item : *ledger_->userAci) {
            addAttribute("openldapaci", item);
        }
        return;
    }
    LDAPConnection* const directory = connection();
    if (!directory) {
        throw MyException(-12, "search failed");
    }
    std::vector<std::string> items;
    try {
        std::unique_ptr<LDAPSearchResults> results =
            directory->search("uid=cyrus," + baseDN_, LDAPConnection::SEARCH_BASE,
                              "(objectClass=*)", StringList{"defaultuseraci"});
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            const LDAPAttributeList* attributes = entry->getAttributes();
            if (attributes->empty() || attributes->begin()->getValues().empty())
                continue;
            const std::string& text = attributes->begin()->getValues().front();
            // Every single blank separates two names (two blanks give an empty one).
            std::string names = text;
            std::replace(names.begin(), names.end(), ' ', ',');
            items.push_back("1#entry#grant;r,w,s,c;" + names + ";r,s,c;[all]#self#");
            addAttribute("openldapaci", items.back());
        }
    } catch (const LDAPException&) {
        throw MyException(-12, "search failed");
    }
    if (ledger_) {
        ledger_->userAci = items;
    }
}
