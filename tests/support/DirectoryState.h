// A directory's entries as the test dumps show them, compared entry by
// entry, and what a removal must leave of them.
#pragma once

#include <map>
#include <set>
#include <string>

// Each entry's DN with its attribute lines.
using Entries = std::map<std::string, std::multiset<std::string>>;

Entries parseDump(const std::string& dump);
// The entries that differ, for a readable failure message.
std::string difference(const Entries& expected, const Entries& actual);
// What the directory must look like after the accounts `uids` were
// removed: their entries and everything below gone, their references in the
// groups and folders one level below o=site and among the address-book
// administrators dropped, all else as it was.
Entries expectedAfterRemoval(const Entries& before, const std::set<std::string>& uids);
