// What a removal run was given: the servers, TLS, the administrator, the
// stages, and the account (-uid) or the roster of accounts (-batch); how the
// parameters are stored and checked.
#pragma once

#include <set>
#include <string>

#include "common/TlsOptions.h"
#include "wire/LineSource.h"
#include "wire/TlsChannel.h"

class RemovalSettings {
  public:
    // Stores one parameter; unknown names are passed over. Raises
    // MyException for an unusable -apfile.
    void store(const std::string& name, const std::string& value);
    // Remembers that the command line or standard input gave `name`, so the
    // site defaults do not override it.
    void markGiven(const std::string& name);
    void applySiteDefaults(const std::string& standardFile);
    // The checks of a run, in their order; raise MyException.
    void check() const;
    // The checks every uid passes before anything is removed.
    static void checkUid(const std::string& uid);

    // A roster (-batch), or a list of accounts a program that removes
    // accounts in-process hands over: removed as a batch's accounts are.
    bool batch() const { return !batchFile.empty() || listed; }
    // What the IMAP and Sieve connections to `host` verify.
    TlsSettings tlsFor(const std::string& host) const;
    // "ldap,sieve,imap" or what of it was chosen, for the audit line.
    std::string stageNames() const;
    void trace(const std::string& line) const;

    std::string cyrusHost = "localhost";
    int cyrusPort = 143;
    int sievePort = 2000;
    std::string ldapHost = "localhost";
    int ldapPort = 389;
    std::string baseDN;
    std::string adminLogin;
    std::string adminPassword;
    std::string uid;  // in lower case, as newacct stores logins
    std::string batchFile;
    bool listed = false;
    std::string encoding;
    bool imap = false;
    bool ldap = false;
    bool sieve = false;
    bool processAcls = true;
    // The directory stage after the Sieve and IMAP stages: a removal cut
    // short by a mail server leaves the user entry and its memberships, so a
    // program that finds its accounts in the directory (syncacct) finds the
    // account again and finishes it.
    bool directoryLast = false;
    // Every stage binds and reads as always, and writes each change it would
    // make into the plan instead.
    bool dryRun = false;
    bool stdinMode = false;
    bool debug = false;
    TlsOptions tls;
    ReplyWaits replyWaits;

  private:
    // Accepted for callers that pass them; no stage reads them.
    std::string pgLogin_;
    std::string pgPassword_;
    std::string pgHost_;
    int pgPort_ = 0;
    std::string configFile_;
    std::set<std::string> given_;  // names from the command line or standard input
};
