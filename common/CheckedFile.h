// Files named by the user (password, defaults and batch files), read so that
// a FIFO, a device or a folder is refused at once instead of blocking the
// run, and every check looks at the file actually opened.
#pragma once

#include <sys/types.h>

#include <string>

// The status of an unreadable or unsafe password, configuration or batch file.
constexpr int kFileRefused = -8;

struct FileRules {
    std::string what;         // "password file", "configuration file", ...: for messages
    off_t largest;            // larger files are refused
    std::string largestText;  // the limit as the message names it, "1 MiB"
};

struct CheckedFile {
    std::string path;
    std::string bytes;  // the whole content
    mode_t mode = 0;    // of the opened descriptor
    uid_t owner = 0;
};

// Opens `path` without blocking, checks the opened descriptor (a regular
// file of at most rules.largest bytes) and reads it whole. Raises
// MyException(kFileRefused) naming the file otherwise.
CheckedFile readCheckedFile(const std::string& path, const FileRules& rules);

// Raises MyException(kFileRefused) when group or others can read `file`;
// `why` says what makes that unsafe ("it holds a password (ap)").
void refuseReadableByOthers(const CheckedFile& file, const FileRules& rules,
                            const std::string& why);

// Raises MyException(kFileRefused) when group or others can write `file`, or
// when it belongs to neither root nor the running user: such a file could
// send the administrator's password to a server of someone else's choosing.
void refuseUntrustedWriters(const CheckedFile& file, const FileRules& rules);
