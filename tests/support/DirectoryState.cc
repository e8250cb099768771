// Directory dumps compared entry by entry.
#include "tests/support/DirectoryState.h"

#include <sstream>

// The entries that differ, for a readable failure message.
std::string difference(const Entries& expected, const Entries& actual) {
    std::string text;
    for (const auto& [dn, lines] : expected) {
        if (!actual.count(dn)) {
            text += "missing " + dn + "\n";
        } else if (actual.at(dn) != lines) {
            text += "changed " + dn + ":";
            for (const std::string& line : actual.at(dn))
                text += " [" + line + "]";
            text += "\n";
        }
    }
    for (const auto& [dn, lines] : actual) {
        if (!expected.count(dn))
            text += "unexpected " + dn + "\n";
    }
    return text;
}

Entries parseDump(const std::string& dump) {
    Entries entries;
    std::istringstream in(dump);
    std::string dn;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("dn: ", 0) == 0) {
            dn = line.substr(4);
            entries[dn];
        } else if (!line.empty()) {
            entries[dn].insert(line);
        }
    }
    return entries;
}

// What the directory must look like after the accounts `uids` were
// removed: their entries and everything below gone, their references
// dropped, all else as it was.
Entries expectedAfterRemoval(const Entries& before, const std::set<std::string>& uids) {
    const std::string admins = "cn=AddressAdmins,o=AddressBook,o=site";
    std::set<std::string> references;
    for (const std::string& uid : uids) {
        references.insert("memberUid: " + uid);
        references.insert("deliverToUID: " + uid);
        references.insert("member: uid=" + uid + ",o=site");
    }
    const auto own = [&uids](const std::string& dn) {
        for (const std::string& uid : uids) {
            const std::string userDN = "uid=" + uid + ",o=site";
            if (dn == userDN ||
                (dn.size() > userDN.size() &&
                 dn.compare(dn.size() - userDN.size() - 1, std::string::npos, "," + userDN) == 0))
                return true;
        }
        return false;
    };
    Entries expected;
    for (const auto& [dn, lines] : before) {
        if (own(dn))
            continue;
        // Only the one-level groups and folders and the address-book
        // administrators lose their references.
        const bool oneLevel = dn.find(',') == dn.rfind(",o=site");
        auto& kept = expected[dn];
        for (const std::string& line : lines) {
            const bool member = line.rfind("member: ", 0) == 0;
            const bool dropped = references.count(line) && (member ? dn == admins : oneLevel);
            if (!dropped)
                kept.insert(line);
        }
    }
    return expected;
}
