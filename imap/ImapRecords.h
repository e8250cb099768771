// What the IMAP client reads out of LIST, GETACL and NAMESPACE replies.
#pragma once

#include <string>
#include <vector>

// One mailbox of a LIST or LSUB reply.
struct IMAPFolder {
    IMAPFolder(const std::string& name, char delimiter) : delimiter(delimiter), name(name) {}

    // Fills the folder from one untagged LIST/LSUB line; raises IMAPException.
    void parseListResponse(const std::string& line);

    char delimiter;    // '\0' when the server sends NIL (a flat hierarchy)
    std::string name;  // the real name: quotes removed, escapes undone
};

// One identifier and its rights from a GETACL reply.
struct IMAPAcl {
    std::string identifier;
    std::string rights;
};

// One namespace of a NAMESPACE reply; a NIL group yields one entry with
// isNil set.
struct IMAPNamespace {
    std::string prefix;
    std::string delimiter;  // one character, or empty
    bool isNil = false;
};

struct IMAPNamespaceSet {
    std::vector<IMAPNamespace> personal;
    std::vector<IMAPNamespace> otherUsers;
    std::vector<IMAPNamespace> shared;
};
