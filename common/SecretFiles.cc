// Reading password and defaults files.
#include "common/SecretFiles.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "common/MyException.h"

namespace {

bool othersCanRead(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && (status.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

std::ifstream openOrRefuse(const std::string& path, const std::string& what) {
    std::ifstream in(path);
    if (!in) {
        throw MyException(kFileRefused,
                          "cannot read " + what + " " + path + ": " + std::strerror(errno));
    }
    return in;
}

}  // namespace

std::string readPasswordFile(const std::string& path) {
    std::ifstream in = openOrRefuse(path, "password file");
    if (othersCanRead(path)) {
        throw MyException(kFileRefused, "refusing password file " + path +
                                            ": other users can read it (chmod 600 it)");
    }
    // A line end must come soon: a device or a wrong file must not be read
    // without end.
    constexpr size_t kLongest = 4096;
    std::string line;
    for (char c; line.size() <= kLongest && in.get(c) && c != '\n';) {
        line += c;
    }
    if (line.size() > kLongest) {
        throw MyException(kFileRefused, "refusing password file " + path +
                                            ": its first line is longer than 4096 bytes");
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

std::vector<Setting> readSiteDefaults(const std::string& path, bool required) {
    std::vector<Setting> settings;
    struct stat status {};
    if (!required && stat(path.c_str(), &status) != 0 && errno == ENOENT) {
        return settings;
    }
    std::ifstream in = openOrRefuse(path, "configuration file");
    constexpr off_t kLargest = 1 << 20;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > kLargest) {
        throw MyException(kFileRefused, "refusing configuration file " + path +
                                            ": not a regular file of at most 1 MiB");
    }
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line[0] == ' ' && !settings.empty()) {
            settings.back().value += "\n" + line.substr(1);
            continue;
        }
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            settings.push_back({line, "on"});
        } else if (equals > 0) {
            settings.push_back({line.substr(0, equals), line.substr(equals + 1)});
        }
    }
    for (const Setting& setting : settings) {
        if (setting.name == "ap" && othersCanRead(path)) {
            throw MyException(kFileRefused,
                              "refusing configuration file " + path +
                                  ": it holds a password (ap) and other users can read it "
                                  "(chmod 600 it)");
        }
    }
    return settings;
}

std::string overrideKey(const std::string& name) {
    return name == "apfile" ? "ap" : name;
}

void applySiteDefaults(const std::string& named, const std::string& standard,
                       const std::set<std::string>& given,
                       const std::function<void(const Setting&)>& store) {
    for (const Setting& setting :
         readSiteDefaults(named.empty() ? standard : named, !named.empty())) {
        if (setting.name != "config" && !given.count(overrideKey(setting.name))) {
            store(setting);
        }
    }
}
