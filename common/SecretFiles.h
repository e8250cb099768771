// Files that hold secrets or site defaults: the administrator's password
// file (-apfile) and the site defaults file (/etc/mailacct.conf, -config).
// A file that holds a password must not be readable by other users.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/CheckedFile.h"

// The first line of `path` (without its line end), like ldapsearch -y.
// Raises MyException(kFileRefused) when it cannot be read, is no regular
// file, or other users can read it.
std::string readPasswordFile(const std::string& path);

struct Setting {
    std::string name;
    std::string value;
};

// The name=value lines of a defaults file, in the syntax of standard input:
// a line without "=" is a flag (value "on"), a line that starts with a blank
// continues the value before it, blank lines and lines starting with "#"
// are comments. A missing file gives nothing unless `required`. Raises
// MyException(kFileRefused) for a file that cannot be read or is no regular
// file of at most 1 MiB, for one that other users can write or that belongs
// to neither root nor the running user, and for one that holds a password
// ("ap") and other users can read.
std::vector<Setting> readSiteDefaults(const std::string& path, bool required);

// The name a parameter counts as when deciding what overrides the site
// defaults: a password file stands for the password ("apfile" for "ap").
std::string overrideKey(const std::string& name);

// Stores, through `store`, the settings of the site defaults file (`named`
// when not empty, else `standard`, which may be missing) whose override
// keys are not in `given` (the command line's and standard input's).
void applySiteDefaults(const std::string& named, const std::string& standard,
                       const std::set<std::string>& given,
                       const std::function<void(const Setting&)>& store);
