// What one account's run wrote, newest last, and how to put each write back
// as it was: an entry added is deleted again, a modify is answered by the
// modify that restores the values before it.
#pragma once

#include <string>
#include <vector>

#include "ldap/LDAPModList.h"

class LDAPConnection;

class PutBack {
  public:
    // A modify of `dn` that `restore` undoes; `what` names it in messages.
    void modified(const std::string& dn, const LDAPModList& restore, const std::string& what);
    // An entry added.
    void added(const std::string& dn);
    // Forgets the newest write (put back by its writer itself).
    void forgetNewest() { writes_.pop_back(); }
    bool empty() const { return writes_.empty(); }

    // Puts every write back, newest first, over `connection` (null: lost).
    // Returns the text for the account's message: "its changes were put
    // back", or what was left and why.
    std::string putBack(LDAPConnection* connection);

  private:
    struct Write {
        std::string dn;
        LDAPModList restore;
        bool added;
        std::string what;
    };
    std::vector<Write> writes_;
};
