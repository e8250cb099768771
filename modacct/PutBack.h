// What one account's run wrote, newest last, and how to put each write back
// as it was: an entry added is deleted again; a modify is answered by one
// that deletes the values it wrote and adds back those it took away, so
// that only what is still as the run wrote it is restored. What another
// change has replaced since is left as that change made it, and named.
#pragma once

#include <string>
#include <vector>

#include "ldap/LDAPAttributeList.h"

class LDAPConnection;

class PutBack {
  public:
    // A modify of `dn` that changed the attributes of `before` (as they
    // were; one it lacks was not there) into those of `after` (one it lacks
    // was deleted); `what` names it in messages.
    void modified(const std::string& dn, const LDAPAttributeList& before,
                  const LDAPAttributeList& after, const std::string& what);
    // An entry added.
    void added(const std::string& dn);
    bool empty() const { return writes_.empty(); }

    // Puts every write back, newest first, over `connection` (null: lost).
    // Returns the text for the account's message: "its changes were put
    // back" (with what had changed since), or what was left and why.
    std::string putBack(LDAPConnection* connection);
    // Puts the newest write back (the run takes it back itself to try
    // again). Raises LDAPException when that fails.
    void takeBackNewest(LDAPConnection& connection);
    // Whether a write left in place holds the attribute `attribute` of `dn`
    // as the run wrote it (after putBack, one that could not be put back).
    bool leaves(const std::string& dn, const std::string& attribute) const;

  private:
    struct Write {
        std::string dn;
        LDAPAttributeList before;
        LDAPAttributeList after;
        bool added;
        std::string what;
    };
    // Puts `write` back; adds to changedSince_ what another change replaced
    // since. Raises LDAPException for a failure.
    void restore(LDAPConnection& connection, const Write& write);
    // The restore refused as a whole: each attribute alone, and the values
    // of a set each alone.
    void restoreByParts(LDAPConnection& connection, const Write& write);

    std::vector<Write> writes_;
    std::vector<std::string> changedSince_;
};
