// Test directory lifecycle through testenv/slapd.sh.
#include "tests/support/Slapd.h"

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "tests/support/Process.h"

namespace {
const std::string kScript = std::string(TESTENV_DIR) + "/slapd.sh";
}

Slapd::Slapd(const std::string& extraLdif, const std::string& extraAcl,
             const std::string& extraDbConfig)
    : dir_(makeTempFolder("slapd-test")) {
    if (!extraAcl.empty()) {
        std::ofstream(dir_ + "/extra-acl.conf") << extraAcl;
    }
    if (!extraDbConfig.empty()) {
        std::ofstream(dir_ + "/extra-db.conf") << extraDbConfig;
    }
    start(extraLdif);
}

Slapd::Slapd(const ServerTls& tls) : dir_(makeTempFolder("slapd-test")) {
    std::ofstream(dir_ + "/tls.env")
        << "TLS_CERTS=" << testCertificates() << "\nTLS_CERT_NAME=" << tls.certificate
        << (tls.required ? "\nSLAPD_SECURITY=simple_bind=128" : "") << "\n";
    start(std::string());
    std::ifstream(dir_ + "/ldaps-port") >> ldapsPort_;
}

std::string Slapd::uniquenessOverlay() {
    std::ifstream in(std::string(TESTENV_DIR) + "/unique.conf");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Slapd::start(const std::string& extraLdif) {
    std::vector<std::string> args{"start", dir_};
    if (!extraLdif.empty()) {
        std::ofstream(dir_ + "/extra.ldif") << extraLdif;
        args.push_back(dir_ + "/extra.ldif");
    }
    const ProcessResult started = runProcess(kScript, args);
    if (started.status != 0) {
        throw std::runtime_error("slapd did not start: " + started.err);
    }
    port_ = std::stoi(started.out);
}

Slapd::~Slapd() {
    if (dir_.empty())
        return;
    stop();
    runProcess("/bin/rm", {"-rf", dir_});
}

void Slapd::stop() {
    runProcess(kScript, {"kill", dir_});
}

void Slapd::modify(const std::string& ldif) const {
    const ProcessResult r = runProcess(
        "/usr/bin/ldapmodify",
        {"-x", "-H", "ldap://127.0.0.1:" + portText(), "-D", "uid=admin,o=site", "-w", "secret"},
        ldif, true);
    if (r.status != 0) {
        throw std::runtime_error("ldapmodify failed: " + r.err);
    }
}

std::string Slapd::search(const std::string& base, const std::string& filter,
                          const std::string& scope, const std::string& attributes) const {
    std::vector<std::string> args{"-x",  "-LLL",
                                  "-o",  "ldif-wrap=no",
                                  "-H",  "ldap://127.0.0.1:" + portText(),
                                  "-D",  "uid=admin,o=site",
                                  "-w",  "secret",
                                  "-b",  base,
                                  "-s",  scope,
                                  filter};
    size_t start = 0;
    while (start < attributes.size()) {
        const size_t blank = attributes.find(' ', start);
        const size_t end = blank == std::string::npos ? attributes.size() : blank;
        if (end > start)
            args.push_back(attributes.substr(start, end - start));
        start = end + 1;
    }
    const ProcessResult r = runProcess("/usr/bin/ldapsearch", args);
    return r.out;
}

std::string Slapd::dump(const std::string& operational) const {
    const std::string all =
        search("o=site", "(objectClass=*)", "sub", operational.empty() ? "" : "* " + operational);
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find("\n\n", start);
        if (end == std::string::npos)
            end = all.size();
        entries.push_back(all.substr(start, end - start));
        start = end + 2;
    }
    std::sort(entries.begin(), entries.end());
    std::string sorted;
    for (const std::string& entry : entries)
        sorted += entry + "\n\n";
    return sorted;
}

bool Slapd::exists(const std::string& dn) const {
    return !search(dn, "(objectClass=*)", "base", "1.1").empty();
}

bool Slapd::binds(const std::string& dn, const std::string& password) const {
    return runProcess("/usr/bin/ldapwhoami",
                      {"-x", "-H", "ldap://127.0.0.1:" + portText(), "-D", dn, "-w", password})
               .status == 0;
}

// Counters every write the server completes; only the administrator reads them.
const char* const Slapd::kMonitorDatabase =
    "database monitor\naccess to * by dn.exact=\"uid=admin,o=site\" read by * none\n";

namespace {
// The values of "name: value" lines of an LDIF text.
std::vector<std::string> valuesOf(const std::string& ldif, const std::string& name) {
    std::vector<std::string> values;
    const std::string prefix = name + ": ";
    size_t start = 0;
    while (start < ldif.size()) {
        size_t end = ldif.find('\n', start);
        if (end == std::string::npos)
            end = ldif.size();
        if (ldif.compare(start, prefix.size(), prefix) == 0)
            values.push_back(ldif.substr(start + prefix.size(), end - start - prefix.size()));
        start = end + 1;
    }
    return values;
}
}  // namespace

std::vector<long> Slapd::uidNumbers() const {
    std::vector<long> numbers;
    for (const std::string& value :
         valuesOf(search("o=site", "(objectClass=posixAccount)", "sub", "uidNumber"), "uidNumber"))
        numbers.push_back(std::stol(value));
    return numbers;
}

std::vector<std::string> Slapd::holders(const std::string& filter) const {
    return valuesOf(search("o=site", filter, "sub", "1.1"), "dn");
}

long Slapd::writesDone() const {
    long writes = 0;
    for (const char* operation : {"Add", "Delete", "Modify", "Modrdn"}) {
        const std::vector<std::string> counted =
            valuesOf(search(std::string("cn=") + operation + ",cn=Operations,cn=Monitor",
                            "(objectClass=*)", "base", "monitorOpCompleted"),
                     "monitorOpCompleted");
        if (counted.size() != 1)
            throw std::runtime_error("no operation counters: start slapd with kMonitorDatabase");
        writes += std::stol(counted.front());
    }
    return writes;
}
