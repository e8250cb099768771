// The checks an account's values pass before anything is written: the form
// of the mail address, the aliases and the telephone numbers, the classes'
// system groups and the photo file. Each failure raises MyException with
// newacct's code and message.
#pragma once

#include <string>

// False exactly when `value` is non-empty and holds nothing but hyphens and
// blanks.
bool checkPhoneString(const std::string& value);

struct PhoneParameter {
    const char* parameter;  // and the attribute it fills
    const char* message;    // the refusal, followed by the value
};
// The telephone parameters in the order they are checked.
extern const PhoneParameter kPhoneParameters[5];

// MyException(-16, "invalid <parameter>: <value>") for a value
// checkPhoneString refuses.
void checkPhoneValue(const PhoneParameter& phone, const std::string& value);
// MyException(-16, "incorrect email address: ...") for an address without "@".
void checkMailAddress(const std::string& mail);
// MyException(-16, "incorrect alias ... Aborted"): an alias is a local part.
void checkAliasForm(const std::string& alias);
// MyException(-10) for a home directory or login shell given that is no
// absolute path.
void checkHomeDirectory(const std::string& path);
void checkLoginShell(const std::string& path);
// The numeric ID of the system group `name`; MyException(-18) when this
// system has no such group, checked before anything is written.
unsigned classGroupId(const std::string& name);
// The bytes of a photo file: a regular file of at most 32768 bytes (a FIFO
// or device is refused, never waited on). A file named by a roster's cell
// must also be one other users may read: the photo is published in the
// directory, and a roster written elsewhere must not copy a private file
// there. Raises MyException(-42) otherwise.
std::string readPhotoFile(const std::string& path, bool namedByRoster);
