// Reading user-named files without blocking and checking what was opened.
#include "common/CheckedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/MyException.h"

namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

MyException refusal(const FileRules& rules, const std::string& path, const std::string& why) {
    return MyException(kFileRefused, "refusing " + rules.what + " " + path + ": " + why);
}

MyException unreadable(const FileRules& rules, const std::string& path, int error) {
    return MyException(kFileRefused,
                       "cannot read " + rules.what + " " + path + ": " + std::strerror(error));
}

}  // namespace

CheckedFile readCheckedFile(const std::string& path, const FileRules& rules) {
    // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
    const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        throw unreadable(rules, path, errno);
    }
    struct stat status {};
    if (fstat(fd.get(), &status) != 0) {
        throw unreadable(rules, path, errno);
    }
    if (!S_ISREG(status.st_mode) || status.st_size > rules.largest) {
        throw refusal(rules, path, "not a regular file of at most " + rules.largestText);
    }
    CheckedFile file{path, std::string(), status.st_mode, status.st_uid};
    // The file may grow while it is read: never read past the limit.
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw unreadable(rules, path, errno);
        }
        if (got == 0) {
            break;
        }
        file.bytes.append(buffer, static_cast<size_t>(got));
        if (file.bytes.size() > static_cast<size_t>(rules.largest)) {
            throw refusal(rules, path, "not a regular file of at most " + rules.largestText);
        }
    }
    return file;
}

void refuseReadableByOthers(const CheckedFile& file, const FileRules& rules,
                            const std::string& why) {
    if ((file.mode & (S_IRGRP | S_IROTH)) != 0) {
        throw refusal(
            rules, file.path,
            (why.empty() ? "" : why + " and ") + "other users can read it (chmod 600 it)");
    }
}

void refuseUntrustedWriters(const CheckedFile& file, const FileRules& rules) {
    if ((file.mode & (S_IWGRP | S_IWOTH)) != 0) {
        throw refusal(rules, file.path, "other users can write it (chmod go-w it)");
    }
    if (file.owner != 0 && file.owner != geteuid()) {
        throw refusal(rules, file.path, "it belongs to neither root nor the running user");
    }
}
