// The checks of an account's values.
#include "account/AccountChecks.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

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

unsigned classGroupId(const std::string& name) {
    const group* systemGroup = getgrnam(name.c_str());
    if (!systemGroup) {
        throw MyException(-18, "class " + name + " is not a group of this system");
    }
    return systemGroup->gr_gid;
}

std::string readPhotoFile(const std::string& path) {
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
    // from other users may be a secret (a roster column could name any file
    // the program can read).
    if ((photo.mode & S_IROTH) == 0) {
        throw MyException(-42, "refusing jpeg-File " + path +
                                   ": other users cannot read it, and a photo is published in "
                                   "the directory (chmod o+r it)");
    }
    return photo.bytes;
}
