// The batch's searches made once, and its bookkeeping of what it wrote.
#include "account/BatchLedger.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "account/AccountNames.h"
#include "account/AddressHolders.h"
#include "common/DistinguishedName.h"
#include "common/Escape.h"
#include "ldap/LDAPConnection.h"

namespace {

// Filters of at most this many values each keep a request well below the
// server's size limits.
constexpr size_t kValuesPerSearch = 200;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

const std::vector<std::string>& valuesOf(const LDAPEntry& entry, const std::string& name) {
    static const std::vector<std::string> none;
    const LDAPAttribute* attribute = entry.getAttributes()->getAttributeByName(name);
    return attribute ? attribute->getValues() : none;
}

}  // namespace

void BatchLedger::readNumbers(LDAPConnection& connection, const std::string& baseDN) {
    std::unique_ptr<LDAPSearchResults> results =
        connection.search(baseDN, LDAPConnection::SEARCH_ONE,
                          "(& (objectClass=posixAccount)(uidNumber=*))", StringList{"uidNumber"});
    while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
        for (const std::string& value : valuesOf(*entry, "uidNumber")) {
            const long number = std::strtol(value.c_str(), nullptr, 10);
            if (number > 2000) {
                numbers_.insert(static_cast<unsigned>(number));
            }
        }
    }
}

unsigned BatchLedger::firstFreeNumber() const {
    unsigned number = 2001;
    for (auto at = numbers_.lower_bound(number); at != numbers_.end() && *at == number; ++at) {
        ++number;
    }
    return number;
}

void BatchLedger::readHolders(LDAPConnection& connection, const std::string& baseDN,
                              const std::vector<std::string>& addresses) {
    for (size_t start = 0; start < addresses.size(); start += kValuesPerSearch) {
        const size_t end = std::min(addresses.size(), start + kValuesPerSearch);
        const std::string wanted = addressHolderTerms(
            std::vector<std::string>(addresses.begin() + start, addresses.begin() + end));
        std::unique_ptr<LDAPSearchResults> results = connection.search(
            baseDN, LDAPConnection::SEARCH_ONE, "(&(objectClass=posixAccount)(|" + wanted + "))",
            StringList{"uid", "alias"});
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            std::set<std::string> logins;
            for (const std::string& uid : valuesOf(*entry, "uid")) {
                logins.insert(lower(uid));
            }
            for (const char* name : {"uid", "alias"}) {
                for (const std::string& value : valuesOf(*entry, name)) {
                    holders_.emplace(lower(value), logins);
                }
            }
        }
    }
}

bool BatchLedger::addressFree(const std::string& address, const std::string& login) const {
    const auto range = holders_.equal_range(lower(address));
    return std::all_of(range.first, range.second,
                       [&login](const auto& holder) { return holder.second.count(login) > 0; });
}

void BatchLedger::holdAddresses(const std::string& login, const std::vector<std::string>& aliases) {
    holdAddress(login, login);
    for (const std::string& alias : aliases) {
        holdAddress(login, alias);
    }
}

void BatchLedger::releaseAddresses(const std::string& login,
                                   const std::vector<std::string>& aliases) {
    for (const std::string& alias : aliases) {
        releaseAddress(login, alias);
    }
    releaseAddress(login, login);
}

void BatchLedger::holdAddress(const std::string& login, const std::string& address) {
    holders_.emplace(lower(address), std::set<std::string>{login});
}

void BatchLedger::releaseAddress(const std::string& login, const std::string& address) {
    const auto range = holders_.equal_range(lower(address));
    for (auto at = range.first; at != range.second; ++at) {
        if (at->second == std::set<std::string>{login}) {
            holders_.erase(at);
            return;
        }
    }
}

void BatchLedger::readGroups(LDAPConnection& connection, const std::string& baseDN,
                             const std::set<std::string>& names) {
    const std::vector<std::string> all(names.begin(), names.end());
    for (size_t start = 0; start < all.size(); start += kValuesPerSearch) {
        std::string wanted;
        const size_t end = std::min(all.size(), start + kValuesPerSearch);
        for (size_t i = start; i < end; ++i) {
            wanted += "(cn=" + escapeFilterValue(all[i]) + ")";
        }
        std::unique_ptr<LDAPSearchResults> results = connection.search(
            baseDN, LDAPConnection::SEARCH_ONE, "(|" + wanted + ")", StringList{"cn"});
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            // Only the entry named cn=<name> is the one a membership goes to;
            // the directory spells its name its own way.
            for (size_t i = start; i < end; ++i) {
                if (sameDN(entry->getDN(), classGroupDn(all[i], baseDN))) {
                    groups_.insert(lower(all[i]));
                }
            }
        }
    }
}

bool BatchLedger::groupExists(const std::string& name) const {
    return groups_.count(lower(name)) > 0;
}
