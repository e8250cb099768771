// One removal run: its settings, and the stages (directory, Sieve scripts,
// IMAP mailbox) that remove its accounts, each with one session for all of
// them. A single run is a run of one account.
#pragma once

#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/LdifWriter.h"
#include "dropacct/AccountRemoval.h"
#include "dropacct/DirectoryStage.h"
#include "dropacct/ImapStage.h"
#include "dropacct/RemovalPolicy.h"
#include "dropacct/RemovalProgress.h"
#include "dropacct/RemovalSettings.h"
#include "dropacct/SieveStage.h"

class DropAcct {
  public:
    DropAcct();
    // A run with these settings, for a program that removes accounts
    // in-process (their `debug` is the run's -debug).
    explicit DropAcct(RemovalSettings settings);

    // Stores one parameter from the command line or standard input; unknown
    // names are passed over. Raises MyException for an unusable -apfile.
    void addParam(const std::string& name, const std::string& value);
    // Stores the settings of the site defaults file (-config, else
    // siteDefaults, which may be missing) whose names the command line or
    // standard input did not give. Raises MyException for an unreadable or
    // unsafe file.
    void applySiteDefaults();
    void checkParams();

    // Removes the one account of a single run; raises MyException with the
    // status and message of the first failure.
    void dropAcct();
    // Removes `accounts` through every chosen stage. Each account ends with
    // its own result; a server lost ends every account not yet finished.
    // `progress` hears of each account once, as soon as its result is known.
    void removeAll(std::vector<AccountRemoval>& accounts,
                   const RemovalProgress& progress = RemovalProgress());
    // Writes the plan of the accounts removed (-dryrun) to `out`.
    void printPlan(std::ostream& out);

    bool dryRun() const { return settings_.dryRun; }
    bool batch() const { return settings_.batch(); }
    const RemovalSettings& settings() const { return settings_; }
    // Logs the single run's audit line with its exit status.
    void audit(int status, const std::string& message) const;

    bool stdinMode = false;
    bool debug = false;

    // The site defaults file shared with newacct.
    static std::string siteDefaults;

    // Shortens the IMAP and Sieve clients' reply waits (30 s for the first
    // line, 20 s for each further one) and the directory's wait for each
    // answer (the first-line wait); for tests against silent servers.
    void setReplyWaits(const ReplyWaits& waits) { settings_.replyWaits = waits; }

  private:
    RemovalSettings settings_;
    // Chosen when the accounts' removal starts.
    RemovalPolicy policy_;
    // The stages keep their sessions until the program ends.
    std::unique_ptr<DirectoryStage> directory_;
    std::unique_ptr<SieveStage> sieve_;
    std::unique_ptr<ImapStage> imap_;
    // Set with -dryrun: every stage binds and reads as always, and each
    // change it would make is written here instead.
    std::ostringstream planText_;
    std::unique_ptr<LdifWriter> plan_;
    // The single run's account, for its audit line.
    std::vector<AccountRemoval> single_;
};

// The help text.
void dropacctUsage(std::ostream& out);
