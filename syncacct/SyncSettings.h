// syncacct's settings as they arrive from the command line or standard input
// and the site defaults file: newacct's (the directory session, and the
// shared values that complete every account created), dropacct's mail
// servers, and the sync's own (the roster, the scope, the grace period, the
// guard against partial rosters).
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dropacct/RemovalSettings.h"
#include "newacct/RunSettings.h"

// The status of a run without its roster or scope; nothing was contacted.
constexpr int kSyncIncomplete = -24;
// The status of a run that would lock or remove too many accounts.
constexpr int kTooManyLeavers = -25;

class SyncSettings {
  public:
    // Stores one parameter; typed text is converted from the locale's
    // character set to UTF-8 (newacct's rule). Raises MyException(255) for
    // a name syncacct does not know and for a value its own options refuse.
    void addParam(const std::string& name, const std::string& value);
    // Takes the site defaults file's settings that were not given: what
    // newacct takes (the session, TLS, the defaults for new accounts), the
    // mail servers as dropacct takes them, and the roster's encoding; never
    // the sync's own options, which decide what a run may lock and remove.
    // Raises MyException for an unreadable or unsafe file.
    void applySiteDefaults();
    // The checks before anything is contacted: -batch and -scope (232),
    // then -al, -bDN, -ap with newacct's statuses, then the mail servers
    // with dropacct's. Raises MyException.
    void check() const;

    // The shared values and the session, as newacct -batch takes them.
    const RunSettings& creation() const { return creation_; }
    DirectoryParams directoryParams() const { return creation_.account().directoryParams(); }
    // The removal of leavers as dropacct -batch -ldap -sieve -imap makes it,
    // over the session's directory with its TLS.
    RemovalSettings removal() const;
    const std::string& adminLogin() const;

    const std::string& batchFile() const { return batchFile_; }
    const std::string& encoding() const { return encoding_; }
    const std::vector<std::string>& scope() const { return scope_; }
    // Days a leaver stays locked before it is removed; none: never removed.
    const std::optional<int>& grace() const { return grace_; }
    int maxLeavers() const { return maxLeavers_; }
    bool force() const { return force_; }
    bool debug() const { return debug_; }
    bool dryRun() const { return creation_.account().dryRun(); }

  private:
    // False for a name that is none of the sync's own or dropacct's.
    bool storeOwn(const std::string& name, const std::string& value);

    RunSettings creation_;
    RemovalSettings mailServers_;
    std::string batchFile_;
    std::string encoding_;
    std::vector<std::string> scope_;
    std::optional<int> grace_;
    int maxLeavers_ = 10;
    bool force_ = false;
    bool debug_ = false;
    std::set<std::string> given_;  // names from the command line or standard input
};
