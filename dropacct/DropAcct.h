// One removal run: the parameters with their defaults, their checks, and the
// removal stages (directory, Sieve scripts, IMAP mailbox) that dropAcct() runs.
#pragma once

#include <memory>
#include <ostream>
#include <set>

class IMAPSimple;
class SieveSimple;
#include <string>

#include "common/LdifWriter.h"
#include "common/TlsOptions.h"
#include "ldap/LDAPConnection.h"
#include "wire/LineSource.h"
#include "wire/TlsChannel.h"

class DropAcct {
  public:
    DropAcct();

    // Stores one parameter from the command line or standard input; unknown
    // names are passed over. Raises MyException for an unusable -apfile.
    void addParam(const std::string& name, const std::string& value);
    // Stores the settings of the site defaults file (-config, else
    // siteDefaults, which may be missing) whose names the command line or
    // standard input did not give. Raises MyException for an unreadable or
    // unsafe file.
    void applySiteDefaults();
    void checkParams();
    void dropAcct();

    // Directory stage.
    void ldapBind();
    void dropAcctLDAPGroups();
    void dropAcctLDAPsharedFolder();
    void delFromAddressBookAdmins();
    void dropAcctLDAPEntry();
    void delLDAPChildren(const std::string& dn);
    // Mail store and filter script stages.
    void dropAcctFromCyrus();
    void dropAcctSieve();

    bool dryRun() const { return plan_ != nullptr; }
    // Logs the run's audit line (administrator, uid, stages and what was
    // removed) with its exit status.
    void audit(int status, const std::string& message) const;

    bool stdinMode = false;
    bool debug = false;

    // The site defaults file shared with newacct.
    static std::string siteDefaults;

    // Shortens the IMAP and Sieve clients' reply waits (30 s for the first
    // line, 20 s for each further one); for tests against silent servers.
    void setReplyWaits(const ReplyWaits& waits) { replyWaits_ = waits; }

  private:
    // Carries out one directory change, or in a plan writes it down.
    void modifyEntry(const std::string& dn, const LDAPModList& modifications);
    void deleteEntry(const std::string& dn);
    // A Sieve session with `host` (after a referral from `referredBy`), TLS
    // as the run asks; raises MyException with the set-up status.
    std::unique_ptr<SieveSimple> openSieveSession(const std::string& host, int port,
                                                  const std::string& referredBy);
    void removeSieveScripts(SieveSimple& client);
    // The plan's lines for deleting `mailbox` and what lies below it.
    void planMailboxDeletion(IMAPSimple& client, const std::string& mailbox,
                             const std::string& delimiter);

    void storeParam(const std::string& name, const std::string& value);
    std::string userDN() const;
    LdapTls directoryTls() const { return tls_.directory(); }
    // What the IMAP and Sieve connections to `host` verify.
    TlsSettings tlsFor(const std::string& host) const;
    void trace(const std::string& line) const;
    // Removes `value` from `attribute` in every entry one level below the
    // base DN that `filter` finds.
    void removeValueEverywhere(const std::string& filter, const std::string& attribute,
                               const std::string& value);

    std::unique_ptr<LDAPConnection> connection_;
    std::string cyrusHost_ = "localhost";
    int cyrusPort_ = 143;
    int sievePort_ = 2000;
    std::string ldapHost_ = "localhost";
    int ldapPort_ = 389;
    std::string baseDN_;
    std::string adminLogin_;
    std::string adminPassword_;
    std::string uid_;
    // Accepted for callers that pass them; no stage reads them.
    std::string pgLogin_;
    std::string pgPassword_;
    std::string pgHost_;
    int pgPort_ = 0;
    bool imap_ = false;
    bool ldap_ = false;
    bool sieve_ = false;
    bool processAcls_ = true;
    TlsOptions tls_;
    // Set with -dryrun: every stage binds and reads as always, and each
    // change it would make is written here instead.
    std::unique_ptr<LdifWriter> plan_;
    // What the run removed, for the audit line.
    struct Removed {
        int entries = 0;
        int memberships = 0;
        int acls = 0;
        int mailboxes = 0;
        int scripts = 0;
    } removed_;
    std::string configFile_;
    std::set<std::string> given_;  // names from the command line or standard input
    ReplyWaits replyWaits_;
};

// The help text.
void usage(std::ostream& out);
