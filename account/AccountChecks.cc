// The checks of an account's values.
#include "account/AccountChecks.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "common/CheckedFile.h"
#include "common/MyException.h"

const PhoneParameter kPhoneParameters[5] = {
    {"telephonenumber", "invalid telephonenumber: "},
    {"pager", "invalid pager: "},
    {"homephone", "invalid homephone: "},
    {"mobile", "invalid mobile: "},
    {"facsimiletelephonenumber", "invalid facsimiletelephonenumber: "},
};

bool checkPhoneString(const std::string& value) {
    return value.empty() || value.find_first_not_of("- ") != std::string::npos;
}

void checkPhoneValue(const PhoneParameter& phone, const std::string& value) {
    if (!checkPhoneString(value)) {
        throw MyException(-16, phone.message + value);
    }
}

void checkMailAddress(const std::string& mail) {
    if (mail.find('@') == std::string::npos) {
        throw MyException(-16, "incorrect email address: " + mail);
    }
}

void checkAliasForm(const std::string& alias) {
    if (alias.find('@') != std::string::npos) {
        throw MyException(-16, "incorrect alias " + alias + ". Aborted");
    }
}

void checkHomeDirectory(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        throw MyException(
            -10, "you must define option -homedirectory and the value must be a directory");
    }
}

void checkLoginShell(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        throw MyException(
            -10, "you must define option -loginshell and the value must be an absolute path");
    }
}

unsigned classGroupId(const std::string& name) {
    // A batch asks for the same few classes again and again, and each
    // getgrnam reads the group database anew; the database does not change
    // while a run lasts.
    static std::mutex guard;
    static std::map<std::string, unsigned> known;
    const std::lock_guard<std::mutex> lock(guard);
    const auto found = known.find(name);
    if (found != known.end()) {
        return found->second;
    }
    const group* systemGroup = getgrnam(name.c_str());
    if (!systemGroup) {
        throw MyException(-18, "class " + name + " is not a group of this system");
    }
    return known.emplace(name, systemGroup->gr_gid).first->second;
}

std::string readPhotoFile(const std::string& path, bool namedByRoster) {
    static const FileRules kPhotoRules{"jpeg-File", 32768, "32k"};
    CheckedFile photo;
    try {
        photo = readCheckedFile(path, kPhotoRules);
    } catch (const MyException& refused) {
        // The words a run has always used, where they fit.
        struct stat status {};
        if (access(path.c_str(), R_OK) != 0 || stat(path.c_str(), &status) != 0) {
            throw MyException(-42, "Error opening jpeg-File");
        }
        if (S_ISREG(status.st_mode) && status.st_size > kPhotoRules.largest) {
            throw MyException(-42, "jpeg-File is bigger than 32k");
        }
        throw MyException(-42, refused.message);
    }
    // Everyone who may read the entry sees the photo: a file its owner keeps
    // from other users may be a secret, and a roster column could name any
    // file the program can read.
    if (namedByRoster && (photo.mode & S_IROTH) == 0) {
        throw MyException(-42, "refusing jpeg-File " + path +
                                   ": other users cannot read it, and a photo is published in "
                                   "the directory (chmod o+r it)");
    }
    return photo.bytes;
}
