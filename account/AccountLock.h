// The lock of an account: what -lock writes into a user entry and -unlock
// takes out again. The passwords are kept, so the old password works again
// afterwards: a "!" right after the password's scheme tag makes every bind
// fail. shadowExpire records the day of the lock (and stops POSIX logins),
// replacing an expiry date set before; the groupware account turns inactive.
// Unlocking opens the account: it removes shadowExpire and makes the
// groupware account active, whatever they were before the lock.
#pragma once

#include <optional>
#include <string>

#include "ldap/LDAPAttributeList.h"

// Whether a password value carries the lock mark: "{scheme}!...".
bool isLockedPassword(const std::string& value);
// The value with the mark. A value in clear (no scheme tag) is hashed first:
// a "!" in front of it would only make "!" and the password a new password.
std::string lockedPassword(const std::string& value);
// The value without the mark.
std::string unlockedPassword(const std::string& value);

struct LockState {
    bool locked = false;
    // The day number of the lock (shadowExpire), when the entry records one.
    std::optional<int> since;
};

// Whether the entry is locked: one of its passwords carries the mark, or,
// for an entry without a password, it has a shadowExpire.
LockState lockState(const LDAPAttributeList& entry);

// The attributes lockEntry and unlockEntry change.
inline const char* const kLockAttributes[] = {"userPassword", "shadowExpire", "phpgwAccountStatus"};

// Locks `entry` (its attributes as they are to be stored): the mark on every
// password, shadowExpire `today`, phpgwAccountStatus "I" on a groupware
// account.
void lockEntry(LDAPAttributeList& entry, int today);
// Opens `entry`: the marks and shadowExpire (whatever set it) go, a
// groupware account is active ("A").
void unlockEntry(LDAPAttributeList& entry);
