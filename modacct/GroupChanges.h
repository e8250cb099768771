// The memberUid changes of many accounts gathered by group: each group gets
// one modify, that deletes the values of every account leaving it and adds
// those of every account joining it, so a year's class move costs one write
// per group, not one per pupil and group. Each change remembers its account.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ldap/LDAPModList.h"

class GroupChanges {
  public:
    struct Member {
        size_t account;     // the caller's index
        std::string value;  // the login, or a spelling of it a group holds
    };
    struct Group {
        std::string dn;
        std::string name;
        std::vector<Member> leaving;
        std::vector<Member> joining;
        // The one modify of the group (delete the leavers, add the joiners).
        LDAPModList changes() const;
    };

    void leave(const std::string& dn, const std::string& name, size_t account,
               const std::string& login);
    void join(const std::string& dn, const std::string& name, size_t account,
              const std::string& login);
    // In the order the groups were first named.
    const std::vector<Group>& groups() const { return groups_; }

    // One member's own change of a group, and the change that undoes it.
    static LDAPModList memberChange(const std::string& login, bool joining);

  private:
    Group& group(const std::string& dn, const std::string& name);

    std::vector<Group> groups_;
};
