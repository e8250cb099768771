// Login names as the programs store and compare them.
#pragma once

#include <string>

// False for a name that starts or ends with a blank or holds a control
// character. The directory ignores blanks at the ends when it compares
// names, so "alice " would address alice's entry while the mail server
// knows no such user: such a name would split one account in two.
bool isUsableLoginName(const std::string& name);

// The login as it is stored: each byte lower-cased with std::tolower.
// Directory names ignore case but memberUid, mailbox names and ACL
// identifiers do not, so "MMueller" and "mmueller" must be one account.
std::string lowerCaseLogin(std::string name);

// The login a memberUid value names, as the directory compares values when
// it ignores case (caseIgnoreIA5Match): blanks at the ends dropped, each
// run of blanks inside one blank, ASCII letters in lower case. The group's
// own match ignores those blanks too, so " JDoe " is jdoe's value.
std::string loginNamedBy(const std::string& value);
