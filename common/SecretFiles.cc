// Reading password and defaults files.
#include "common/SecretFiles.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "common/MyException.h"

namespace {

const FileRules kPasswordFile{"password file", 1 << 20, "1 MiB"};
const FileRules kConfigurationFile{"configuration file", 1 << 20, "1 MiB"};

}  // namespace

std::string readPasswordFile(const std::string& path) {
    const CheckedFile file = readCheckedFile(path, kPasswordFile);
    refuseReadableByOthers(file, kPasswordFile, "");
    constexpr size_t kLongest = 4096;
    std::string line = file.bytes.substr(0, file.bytes.find('\n'));
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
    const CheckedFile file = readCheckedFile(path, kConfigurationFile);
    refuseUntrustedWriters(file, kConfigurationFile);
    std::istringstream in(file.bytes);
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
        if (setting.name == "ap") {
            refuseReadableByOthers(file, kConfigurationFile, "it holds a password (ap)");
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
