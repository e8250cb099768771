// Reading accounts, groups and cards for a change run.
#include "modacct/AccountReads.h"

#include <ldap.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "account/AccountNames.h"
#include "account/ContactEntry.h"
#include "common/Escape.h"
#include "common/LoginName.h"
#include "ldap/LDAPConnection.h"
#include "ldap/LDAPException.h"

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

const std::vector<std::string>& valuesOf(const LDAPEntry& entry, const std::string& name) {
    static const std::vector<std::string> none;
    const LDAPAttribute* attribute = entry.getAttributes()->getAttributeByName(name);
    return attribute ? attribute->getValues() : none;
}

}  // namespace

std::vector<std::string> orFilters(const std::string& name, const std::vector<std::string>& values,
                                   size_t chunk) {
    std::vector<std::string> filters;
    for (size_t start = 0; start < values.size(); start += chunk) {
        std::string filter = "(|";
        for (size_t i = start; i < std::min(values.size(), start + chunk); ++i) {
            filter += "(" + name + "=" + escapeFilterValue(values[i]) + ")";
        }
        filters.push_back(filter + ")");
    }
    return filters;
}

std::string rdnValue(const std::string& dn, const std::string& type) {
    const size_t equals = dn.find('=');
    if (equals == std::string::npos ||
        strcasecmp(dn.substr(0, equals).c_str(), type.c_str()) != 0) {
        return "";
    }
    std::string value;
    for (size_t i = equals + 1; i < dn.size(); ++i) {
        const char c = dn[i];
        if (c == ',' || c == '+') {
            break;
        }
        if (c != '\\' || i + 1 == dn.size()) {
            value += c;
            continue;
        }
        const int high = hexDigit(dn[i + 1]);
        const int low = i + 2 < dn.size() ? hexDigit(dn[i + 2]) : -1;
        if (high >= 0 && low >= 0) {
            value += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            value += dn[++i];
        }
    }
    return value;
}

void ClassGroups::take(const std::string& dn, const std::string& name,
                       const std::vector<std::string>& members,
                       const std::set<std::string>& logins) {
    dns[name] = dn;
    for (const std::string& member : members) {
        // As the directory's filter matched it: " JDoe " is jdoe's.
        const std::string login = loginNamedBy(member);
        if (logins.count(login) == 0) {
            continue;
        }
        std::vector<std::string>& held = values[login][name];
        if (held.empty()) {
            of[login].push_back(name);
        }
        held.push_back(member);
    }
}

std::vector<std::string> AccountReads::filters(const std::string& name,
                                               const std::vector<std::string>& values) const {
    return whole_ ? std::vector<std::string>{""} : orFilters(name, values);
}

ClassGroups AccountReads::readGroups(const std::vector<std::string>& logins) {
    // A group read once is known whole, memberUid values and all: later
    // searches leave it out, so a large group goes over the wire once.
    ClassGroups groups;
    std::vector<std::string> known;
    const std::set<std::string> wanted(logins.begin(), logins.end());
    everyGroupRead_ = whole_;
    // memberUid matches exactly; a value another tool wrote in other case
    // still names the login, as uid does.
    for (const std::string& members : filters("memberUid:caseIgnoreIA5Match:", logins)) {
        std::string filter = "(&(objectClass=posixGroup)" + members;
        if (!known.empty() && known.size() <= 200) {
            filter += "(!" + orFilters("cn", known).front() + ")";
        }
        std::unique_ptr<LDAPSearchResults> results = connection_.search(
            baseDN_, LDAPConnection::SEARCH_ONE, filter + ")", StringList{"cn", "memberUid"});
        ++searches_;
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            std::string name = rdnValue(entry->getDN(), "cn");
            if (name.empty() && !valuesOf(*entry, "cn").empty()) {
                name = valuesOf(*entry, "cn").front();
            }
            if (groups.dns.count(name) == 0) {
                known.push_back(name);
            }
            groups.take(entry->getDN(), name, valuesOf(*entry, "memberUid"), wanted);
        }
    }
    return groups;
}

std::map<std::string, StoredAccount> AccountReads::accounts(const std::vector<std::string>& logins,
                                                            const StringList& attributes) {
    std::map<std::string, StoredAccount> found;
    const std::set<std::string> wanted(logins.begin(), logins.end());
    for (const std::string& uids : filters("uid", logins)) {
        std::unique_ptr<LDAPSearchResults> results =
            connection_.search(baseDN_, LDAPConnection::SEARCH_ONE,
                               "(&(objectClass=posixAccount)" + uids + ")", attributes);
        ++searches_;
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            // Only the entry named uid=<login> is the account.
            const std::string login = lower(rdnValue(entry->getDN(), "uid"));
            if (wanted.count(login) > 0) {
                found[login] =
                    StoredAccount{entry->getDN(), entry->releaseAttributes(), {}, false, {}, {}};
            }
        }
    }
    if (found.empty()) {
        return found;
    }
    std::vector<std::string> present;
    for (const auto& account : found) {
        present.push_back(account.first);
    }
    const ClassGroups groups = readGroups(present);
    for (const auto& [name, dn] : groups.dns) {
        groupDns_[lower(name)] = dn;
    }
    for (const auto& [login, names] : groups.of) {
        found[login].classes = names;
        found[login].memberValues = groups.values.at(login);
    }
    return found;
}

void AccountReads::contacts(const std::vector<StoredAccount*>& accounts) {
    std::map<std::string, StoredAccount*> byCard;
    std::vector<std::string> cards;
    for (StoredAccount* account : accounts) {
        const std::string card = lower(rdnValue(account->dn, "uid")) + ":system";
        byCard[card] = account;
        cards.push_back(card);
        account->contactRead = true;
    }
    // Only what a plan compares: a card's other fields (notes, phone
    // numbers) are the groupware's and never change here.
    StringList fields;
    for (const std::string& field : contactFields()) {
        fields.add(field);
    }
    try {
        for (const std::string& filter : filters("uid", cards)) {
            std::unique_ptr<LDAPSearchResults> results =
                connection_.search("o=AddressBook," + baseDN_, LDAPConnection::SEARCH_ONE,
                                   filter.empty() ? "(objectClass=*)" : filter, fields);
            ++searches_;
            while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
                const auto at = byCard.find(lower(rdnValue(entry->getDN(), "uid")));
                if (at != byCard.end()) {
                    at->second->contact = *entry->getAttributes();
                }
            }
        }
    } catch (const LDAPException& e) {
        // No address book: no card is there.
        if (e.getResultCode() != LDAP_NO_SUCH_OBJECT) {
            throw;
        }
    }
}

void AccountReads::classGroups(const std::set<std::string>& names) {
    if (everyGroupRead_) {
        return;
    }
    std::vector<std::string> unknown;
    for (const std::string& name : names) {
        if (!hasGroup(name)) {
            unknown.push_back(name);
        }
    }
    for (const std::string& filter : orFilters("cn", unknown)) {
        // objectClass is indexed where cn may not be.
        std::unique_ptr<LDAPSearchResults> results =
            connection_.search(baseDN_, LDAPConnection::SEARCH_ONE,
                               "(&(objectClass=posixGroup)" + filter + ")", StringList{"1.1"});
        ++searches_;
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            const std::string name = rdnValue(entry->getDN(), "cn");
            if (!name.empty()) {
                groupDns_[lower(name)] = entry->getDN();
            }
        }
    }
}

bool AccountReads::hasGroup(const std::string& name) const {
    return groupDns_.count(lower(name)) > 0;
}

std::string AccountReads::groupDn(const std::string& name) const {
    const auto at = groupDns_.find(lower(name));
    return at != groupDns_.end() ? at->second : classGroupDn(name, baseDN_);
}
