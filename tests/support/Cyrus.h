// A private Cyrus IMAP server with its Sieve service for one test, started
// from the project's test server scripts (administrator "admin", password
// "secret") and stopped when the test ends.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "tests/support/ServerTls.h"

class Slapd;

class Cyrus {
  public:
    Cyrus();
    // With STARTTLS on both services and imaps (on imapsPort()).
    explicit Cyrus(const ServerTls& tls);
    // Checking every password by a bind to `directory` (through a private
    // saslauthd), as a school server does: users are the directory's
    // uid=<login>,o=site entries, the administrator is uid=admin,o=site.
    // `directory` must outlive this server.
    explicit Cyrus(const Slapd& directory);
    // The helpers below for a server someone else started and stops (one
    // instance of a murder), logging in as admin/secret in clear.
    struct Running {
        std::string host;
        int imapPort;
        int sievePort;
    };
    explicit Cyrus(const Running& server);
    ~Cyrus();
    Cyrus(const Cyrus&) = delete;
    Cyrus& operator=(const Cyrus&) = delete;

    int imapPort() const { return imapPort_; }
    int sievePort() const { return sievePort_; }
    int imapsPort() const { return imapsPort_; }
    void addUser(const std::string& user, const std::string& password) const;
    // True when an IMAP LOGIN as `user` succeeds (on a service that always
    // takes plain logins).
    bool userLogin(const std::string& user, const std::string& password) const;

    // Sends IMAP command lines as the administrator, one at a time, and
    // returns every reply line.
    std::string imap(const std::vector<std::string>& commands) const;
    // Mailboxes the administrator sees, one "name acl" line each, sorted.
    std::string mailboxesWithAcls() const;
    // Uploads scripts for `user` (acting as the administrator); the last
    // one named in `active` is made active when not empty.
    void putScripts(const std::string& user, const std::vector<std::string>& names,
                    const std::string& active) const;
    // The user's scripts as the server lists them, or the server's refusal.
    std::string listScripts(const std::string& user) const;

  private:
    // `environment`: the start script's NAME=value settings.
    void start(const std::vector<std::string>& environment = {});

    std::string dir_;
    std::string host_ = "127.0.0.1";
    int imapPort_ = 0;
    int sievePort_ = 0;
    int imapsPort_ = 0;
    // Services that always take plain logins, for the helpers above.
    int adminImapPort_ = 0;
    int adminSievePort_ = 0;
};

// What mailboxesWithAcls() must show after the removal of the users `uids`,
// when it showed `before`: their mailboxes gone, their own entries gone from
// every other ACL.
std::string mailboxesAfterRemoval(const std::string& before, const std::set<std::string>& uids);
