// modacct's settings as they arrive from the command line or standard input
// and the site defaults file: the directory session's, the run's own (plan,
// trace, made-up passwords, class scope, batch file and its encoding), and the account
// parameters (for a batch, those every row shares).
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "account/BatchRows.h"
#include "account/SessionSettings.h"
#include "modacct/AccountChange.h"

class ChangeSettings {
  public:
    // Stores one parameter; typed text is converted from the locale's
    // character set to UTF-8. Raises MyException(255, "wrong option: <name>")
    // for a name it does not know, and AccountChange's refusals.
    void addParam(const std::string& name, const std::string& value);
    // Takes the session settings of the site defaults file (-config, else
    // siteDefaults, which may be missing) that were not given; every other
    // name in it (newacct's defaults for new accounts among them) is passed
    // over: a change is never made unless asked for.
    void applySiteDefaults();
    static std::string siteDefaults;

    // -al, -bDN, -ap, in newacct's order and with its statuses.
    void checkSession() const { session_.check(); }
    DirectoryParams directoryParams() const { return session_.params(); }
    // Shortens the wait for each answer of the directory (30 s, as for an
    // IMAP reply); for tests against silent servers.
    void setReplyWaits(const ReplyWaits& waits) { session_.answerWaitMs = waits.firstLineMs; }
    const std::string& adminLogin() const { return session_.adminLogin; }

    bool dryRun() const { return dryRun_; }
    bool debug() const { return debug_; }
    const std::string& batchFile() const { return batchFile_; }
    const std::string& encoding() const { return encoding_; }

    // The request of a single run.
    AccountChange request() const;
    // The request of a roster row: the parameters given here, but those the
    // row's cells give, then the cells.
    AccountChange rowRequest(const BatchRow& row) const;
    // Whether a roster column may name `name`: a parameter of one account.
    static bool isColumn(const std::string& name) { return AccountChange::isParameter(name); }

  private:
    // False for a name that is no setting of the session or the run.
    bool storeSetting(const std::string& name, const std::string& value);

    SessionSettings session_;
    bool dryRun_ = false;
    bool debug_ = false;
    bool genpw_ = false;
    // -scope: the groups among which -class sets the classes, for every row.
    std::vector<std::string> scope_;
    std::string batchFile_;
    std::string encoding_;
    AccountChange single_;
    // The account parameters in their order, values in UTF-8.
    std::vector<std::pair<std::string, std::string>> given_;
    std::set<std::string> givenNames_;
};
