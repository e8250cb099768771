// The classes a sync governs: the posixGroups one level below the base DN
// (cn=<name>,<base>) whose names a -scope pattern matches, and their
// members, read in two searches: every group's name, then the members of
// those in scope. Picking the names is a function of its own, apart from
// the searches.
#pragma once

#include <string>
#include <vector>

class LDAPConnection;

// The class names among the group DNs `dns` that `scope` covers, each once,
// in the order found; a DN that names no cn=<name> is passed over.
std::vector<std::string> classesInScope(const std::vector<std::string>& dns,
                                        const std::vector<std::string>& scope);

struct ScopedClasses {
    std::vector<std::string> names;
    // Every login in a scoped class, in lower case, sorted, each once.
    std::vector<std::string> members;
};

// Raises LDAPException.
ScopedClasses readScopedClasses(LDAPConnection& connection, const std::string& baseDN,
                                const std::vector<std::string>& scope);
