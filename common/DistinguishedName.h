// Distinguished names compared as the directory compares them: "uid=jdoe,
// o=Site" and "UID=jdoe,o=site" name one entry, so a value read from the
// directory and a name the program forms must not be compared as strings.
#pragma once

#include <optional>
#include <string>

// The DN in one canonical form (parsed by libldap): attribute types and
// values in lower case, blanks at the ends of each value dropped and runs
// of blanks inside it made one, the values of a multi-valued RDN sorted,
// special characters escaped one way. Every name type in our layout
// (uid, cn, ou, o, dc) ignores case. Empty for text that is no DN.
std::optional<std::string> normalizedDN(const std::string& dn);

// Whether `a` and `b` name the same entry; text that is no DN equals only
// the very same text.
bool sameDN(const std::string& a, const std::string& b);
