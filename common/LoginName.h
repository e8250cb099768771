// What a login name may not look like, whatever else it holds.
#pragma once

#include <string>

// False for a name that starts or ends with a blank or holds a control
// character. The directory ignores blanks at the ends when it compares
// names, so "alice " would address alice's entry while the mail server
// knows no such user: such a name would split one account in two.
bool isUsableLoginName(const std::string& name);
