// What newacct learns from the directory before writing: whether the mail
// address and aliases are free, the first free user ID, the password hash
// and the user's access-control item.
#include <crypt.h>

#include <algorithm>
#include <vector>

#include "common/AdminSession.h"
#include "common/Escape.h"
#include "common/MyException.h"
#include "ldap/LDAPException.h"
#include "newacct/NewAcct.h"

void NewAcct::ldapBind() {
    const DirectoryParams params{host_,       port_,          baseDN_,
                                 adminLogin_, adminPassword_, tls_.directory()};
    try {
        openAdminSession(connection_, params);
    } catch (const AdminSessionError& e) {
        throw MyException(-12, e.explanation.empty() ? "bind failed" : "bind failed: " + e.text());
    }
}

void NewAcct::unbind() {
    if (connection_) {
        connection_->unbind();
        connection_.reset();
    }
}

bool NewAcct::isAddressUnique(std::string address) {
    if (!connection_) {
        return false;
    }
    const std::string value = escapeFilterValue(address);
    const std::string filter = "(& (objectClass=posixAccount)(| (alias=" + value +
                               ")(uid=" + value + ") ) (! (uid=" + escapeFilterValue(login_) +
                               ")))";
    try {
        std::unique_ptr<LDAPSearchResults> results = connection_->search(
            baseDN_, LDAPConnection::SEARCH_ONE, filter, StringList{"objectClass"});
        return results->getNext() == nullptr;
    } catch (const LDAPException&) {
        return false;  // a search that fails counts as a conflict
    }
}

void NewAcct::checkMailUnique() {
    if (!isAddressUnique(mail_.substr(0, mail_.find('@')))) {
        throw MyException(-16, "Address " + mail_ + " already exists. Aborted");
    }
}

void NewAcct::checkAliases() {
    for (const std::string& alias : aliases_) {
        if (!isAddressUnique(alias)) {
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
    if (!connection_) {
        throw MyException(-12, "search failed");
    }
    // Only numbers above 2000 matter; the entries themselves are read one at
    // a time and dropped.
    std::vector<long> used;
    try {
        std::unique_ptr<LDAPSearchResults> results = connection_->search(
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
        uidNumber_ = scanFirstFreeUidNumber();
        uidNumberChosen_ = true;
    }
    addAttribute("uidnumber", std::to_string(uidNumber_));
}

void NewAcct::initUserPwd() {
    std::string scheme;
    if (!userPassword_.empty() && userPassword_[0] == '{') {
        const size_t close = userPassword_.find('}');
        if (close != std::string::npos) {
            scheme = userPassword_.substr(1, close - 1);
        }
    }
    if (scheme.empty()) {
        // SHA-512 crypt with a salt from the system's random source: the
        // traditional DES crypt keeps only eight characters of a password.
        // Consumers check "{crypt}" values through crypt(3) whatever its method.
        const char* salt = crypt_gensalt("$6$", 0, nullptr, 0);
        crypt_data data{};
        const char* hash = salt ? crypt_r(userPassword_.c_str(), salt, &data) : nullptr;
        if (!hash || hash[0] == '*') {
            throw MyException(-12, "password hashing failed");
        }
        userPassword_ = std::string("{crypt}") + hash;
    }
    addAttribute("userpassword", userPassword_);
}

void NewAcct::initUserAci() {
    if (!connection_) {
        throw MyException(-12, "search failed");
    }
    try {
        std::unique_ptr<LDAPSearchResults> results =
            connection_->search("uid=cyrus," + baseDN_, LDAPConnection::SEARCH_BASE,
                                "(objectClass=*)", StringList{"defaultuseraci"});
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            const LDAPAttributeList* attributes = entry->getAttributes();
            if (attributes->empty() || attributes->begin()->getValues().empty())
                continue;
            const std::string& text = attributes->begin()->getValues().front();
            // Every single blank separates two names (two blanks give an empty one).
            std::string names = text;
            std::replace(names.begin(), names.end(), ' ', ',');
            addAttribute("openldapaci", "1#entry#grant;r,w,s,c;" + names + ";r,s,c;[all]#self#");
        }
    } catch (const LDAPException&) {
        throw MyException(-12, "search failed");
    }
}
