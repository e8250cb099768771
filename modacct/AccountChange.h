// What one request to change an account asks: the changes its parameters
// name, each one "no change" until given. Built from name=value parameters
// (options, standard input, a roster's cells), or filled in directly by a
// program that runs the change engine itself.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ldap/LDAPAttributeList.h"

// Whether one of the shell patterns `scope` (fnmatch, without regard to
// case, as the directory compares names) matches the group name `name`.
bool classInScope(const std::vector<std::string>& scope, const std::string& name);

// Whether `name` is a parameter that is set only when an account is
// created and that AccountChange::set refuses.
bool setOnlyAtCreation(const std::string& name);

struct ClassChange {
    // With -class: the account's classes are exactly these afterwards, among
    // the groups `scope` covers.
    std::optional<std::vector<std::string>> exactly;
    std::vector<std::string> add;     // -addclass
    std::vector<std::string> remove;  // -delclass
    // Patterns over group names (classInScope): `exactly` leaves the
    // groups that no pattern matches alone. Empty: every group.
    std::vector<std::string> scope;

    bool any() const { return exactly || !add.empty() || !remove.empty(); }
    // Whether `exactly` governs the group `name`.
    bool inScope(const std::string& name) const;
    // Raises MyException(-18) for a class named outside the scope: with a
    // scope the run changes classes among the matching groups only.
    void checkScope() const;
};

enum class LockChange { None, Lock, Unlock };

class AccountChange {
  public:
    // Stores one parameter whose value is UTF-8 already. False for a name
    // that is no parameter of an account. Raises MyException(255) for a
    // parameter this program does not change, and for a second uid that
    // differs from the first (that would be a rename).
    bool set(const std::string& name, const std::string& value);
    // Whether a roster column may be named `name`.
    static bool isParameter(const std::string& name);

    // The checks that need no directory, with newacct's statuses and
    // messages: uid, mail, telephone numbers, aliases, photo, home
    // directory, login shell; and the classes against the scope. Lower-cases
    // the login and reads the photo.
    // Raises MyException.
    void check();
    // Makes up the password (makePassword and none given) and brings the
    // password into the form it is stored in. Raises MyException(-12).
    void preparePassword();

    std::string login;
    ClassChange classes;
    // The attributes whose values are replaced, each with the parameter that
    // set it (for the report of what changed), in the order given.
    LDAPAttributeList attributes;
    std::vector<std::pair<std::string, std::string>> attributeParameters;  // (parameter, attribute)
    // Adds TolvoVantorOskaObject where it is missing.
    bool extension = false;
    std::optional<std::string> mail;
    std::optional<std::vector<std::string>> aliases;  // -alias: the list
    std::vector<std::string> addAliases;
    std::vector<std::string> removeAliases;
    // -up; after preparePassword the value as it is stored.
    std::string password;
    bool makePassword = false;  // -genpw: when no -up is given
    bool requirePasswordChange = false;
    std::string madePassword;
    LockChange lock = LockChange::None;
    std::string photoFile;
    bool photoFromRoster = false;  // named by a roster's cell

  private:
    void setAttribute(const std::string& parameter, const std::string& attribute,
                      const std::string& value);
    void noteParameter(const std::string& parameter, const std::string& attribute);

    bool lockGiven_ = false;
    bool unlockGiven_ = false;
    bool passwordPrepared_ = false;
};
