// A private slapd for one test, started from the project's test directory
// scripts with the seed layout (base o=site, admin "admin"/"secret") plus
// the test's own LDIF, and killed when the test ends.
#pragma once

#include <string>
#include <vector>

#include "tests/support/ServerTls.h"

class Slapd {
  public:
    // `extraAcl` holds access rules placed before the standard ones,
    // `extraDbConfig` lines that end the database section (overlays).
    explicit Slapd(const std::string& extraLdif = std::string(),
                   const std::string& extraAcl = std::string(),
                   const std::string& extraDbConfig = std::string());
    // With StartTLS and ldaps (on ldapsPort()).
    explicit Slapd(const ServerTls& tls);
    // The helpers below for a server someone else started and stops.
    struct Running {
        int port;
    };
    explicit Slapd(Running server) : port_(server.port) {}
    ~Slapd();
    Slapd(const Slapd&) = delete;
    Slapd& operator=(const Slapd&) = delete;

    int port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }
    std::string ldapsPortText() const { return std::to_string(ldapsPort_); }
    void stop();

    // Applies LDIF change records as the administrator (ldapmodify).
    void modify(const std::string& ldif) const;
    // The matching entries as LDIF (ldapsearch -LLL, read as the administrator).
    std::string search(const std::string& base, const std::string& filter = "(objectClass=*)",
                       const std::string& scope = "sub",
                       const std::string& attributes = std::string()) const;
    bool exists(const std::string& dn) const;
    // True when a simple bind as `dn` with `password` succeeds (ldapwhoami).
    bool binds(const std::string& dn, const std::string& password) const;
    // The writes (add, delete, modify, modrdn) the server has completed so
    // far, by its own operation counters: a server started with
    // kMonitorDatabase among its extra database lines.
    long writesDone() const;
    static const char* const kMonitorDatabase;
    // slapd's uniqueness overlay as testenv/unique.conf sets it up (database
    // lines): mail, alias and uidNumber kept unique by the directory.
    static std::string uniquenessOverlay();
    // Every entry below o=site with all attributes (and the operational
    // ones named in `operational`), entries sorted, so two dumps compare
    // equal exactly when the directory holds the same data.
    std::string dump(const std::string& operational = std::string()) const;

    // The uidNumber values of all POSIX accounts; the DNs of the entries
    // that match `filter`.
    std::vector<long> uidNumbers() const;
    std::vector<std::string> holders(const std::string& filter) const;

  private:
    void start(const std::string& extraLdif);

    std::string dir_;
    int port_ = 0;
    int ldapsPort_ = 0;
};
