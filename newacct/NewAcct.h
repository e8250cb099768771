// One account creation run: the account's data as it arrives, its checks,
// the values derived from the directory, and the entries written for it.
#pragma once

#include <ctime>
#include <list>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "account/DerivedValues.h"
#include "account/SessionSettings.h"
#include "common/AdminSession.h"
#include "common/LdifWriter.h"
#include "ldap/LDAPAttributeList.h"
#include "ldap/LDAPConnection.h"
#include "ldap/LDAPException.h"

class BatchLedger;
class DirectorySession;

class NewAcct {
  public:
    NewAcct();
    ~NewAcct();
    NewAcct(NewAcct&&) noexcept;
    NewAcct& operator=(NewAcct&&) noexcept;

    // Stores one parameter from the command line or standard input; raises
    // MyException(255, "wrong option: <name>") for a name it does not know.
    void addParam(const std::string& name, const std::string& value);
    // Stores one cell of a batch file: a value that is UTF-8 already.
    void addCell(const std::string& name, const std::string& value);
    // Whether a batch file's column may name `name`: a parameter of one
    // account, not of the directory session or the run.
    static bool isAccountParam(const std::string& name);
    // Stores the settings of the site defaults file (-config, else
    // siteDefaults, which may be missing) whose names the command line or
    // standard input did not give; names of the other program are passed
    // over. Raises MyException for an unreadable or unsafe file.
    void applySiteDefaults();

    void checkParams();
    void checkHomeDir();
    void checkLoginShell();
    void createCN();
    bool checkPhoneString(const std::string& value) const;

    // Binds a session of this account's own (a single run).
    void ldapBind();
    // Uses the session (and what it knows) that a batch shares.
    void useSession(DirectorySession& session, BatchLedger* ledger);
    // Shortens the wait for each answer of the directory (30 s, as for an
    // IMAP reply); for tests against silent servers.
    void setReplyWaits(const ReplyWaits& waits) { directory_.answerWaitMs = waits.firstLineMs; }
    DirectoryParams directoryParams() const;
    // The session's settings as given: a program that also reaches the mail
    // servers protects them as the directory (any TLS option means TLS).
    const SessionSettings& sessionSettings() const { return directory_; }
    void checkMailUnique();
    void checkAliases();
    bool isAddressUnique(std::string address);
    void initUidNumber();
    // Makes up a password with -genpw when none was given, then hashes it;
    // needs no directory, so a batch does it for many accounts at once.
    void preparePassword();
    void initUserPwd();
    void initUserAci();

    // Everything after the bind, in the fixed order of a run: the
    // uniqueness checks, the derived values and the entries.
    void createInDirectory();
    void addUserToLDAP();
    void addAddressBookBase();
    void addGlobalAddressBookAccess();
    void addToPHPGWAddressBook();
    void addToClasses();

    std::string convertToUTF8(const std::string& value) const;

    // Closes the directory session, if one was opened.
    void unbind();

    bool dryRun() const { return plan_ != nullptr; }
    // The changes written down with -dryrun.
    std::string plan() const { return planText_->str(); }
    // The password made up with -genpw, else empty.
    const std::string& madePassword() const { return madePassword_; }
    bool makesPassword() const { return genpw_ && userPassword_.empty(); }
    const std::string& login() const { return login_; }
    std::vector<std::string> aliases() const { return {aliases_.begin(), aliases_.end()}; }
    std::vector<std::string> classes() const { return {classes_.begin(), classes_.end()}; }
    // The mail address's local part and the aliases.
    std::vector<std::string> claimedAddresses() const;
    unsigned uidNumber() const { return uidNumber_; }
    // Whether anything was written for the account.
    bool wroteSomething() const { return !written_.empty(); }
    // Undoes what was written, newest first; raises MyException naming what
    // was left when that fails.
    void takeBack();
    // Logs the run's audit line (administrator, uid, and what is settled of
    // the uid number, group and home) with its exit status, under the name
    // of the program that made the account.
    void audit(int status, const std::string& message,
               const std::string& program = "newacct") const;

    const LDAPAttributeList& attributes() const { return attributes_; }

    // The system's account defaults file (keys HOME and SHELL).
    static std::string userAddDefaults;
    // The site defaults file shared with dropacct.
    static std::string siteDefaults;

  private:
    // False for a name it does not know.
    bool storeParam(const std::string& name, const std::string& value);

    struct Conflicts {
        bool number = false;
        bool address = false;
        bool any() const { return number || address; }
    };

    // Adds the user entry and keeps it only once no other account holds its
    // number or addresses; raises MyException otherwise.
    void claimUserEntry();
    Conflicts findConflicts();
    // Who holds the user entry now, read back after its add's answer was
    // lost: the salted password hash this run made is in no other entry.
    // Raises LDAPException.
    enum class Holder { Nobody, Us, Another };
    Holder userEntryHolder();
    // A single run's way on after the add's answer was lost: over a new
    // connection, true when the entry is ours, false when it is not there
    // (the add goes again); raises MyException when it cannot tell or the
    // entry is another's.
    bool recoverLostAdd(const LDAPException& lost);
    Conflicts conflictsOfRefusal(const LDAPException& refusal) const;
    void withdrawUserEntry();
    // Writes one entry or change, or in a plan writes it down.
    // A failure raises MyException(-14, `failure` and the directory's text).
    // `replaceable`: an entry of that name already there belongs to this
    // account and takes the new values (replaceEntry).
    void addEntry(const LDAPEntry& entry, const std::string& failure, bool replaceable = false);
    // Makes the stored entry of `entry`'s name hold exactly its attributes.
    void replaceEntry(const LDAPEntry& entry, const std::string& failure);
    void addValue(const std::string& dn, const std::string& attribute, const std::string& value,
                  const std::string& failure);
    // Reads the answers to the writes a batch sent without waiting.
    void settleWrites();
    void checkAddressesSettled(const LDAPException* refusal);
    // The mail address and the aliases, as the directory stores them.
    std::vector<std::string> addressValues() const;
    // True when an account other than ours holds `value` as mail or alias.
    bool heldByAnother(const std::string& value);
    unsigned scanFirstFreeUidNumber();
    // The first number from `from` upward that no POSIX account holds now.
    unsigned nextFreeUidNumber(unsigned from);

    // One write to undo: an entry added, a value added to an entry, or an
    // entry's values replaced (then `previous` holds what was there).
    struct Written {
        std::string dn;
        std::string attribute;  // empty for an entry
        std::string value;
        // The add's answer was lost: the entry may not be there, or be another run's.
        bool unsure = false;
        std::optional<LDAPAttributeList> previous = std::nullopt;
        std::optional<LDAPAttributeList> replacement = std::nullopt;
    };

    LDAPConnection* connection() const;
    bool addressFree(const std::string& address);
    void addAttribute(const std::string& name, const std::string& value);
    std::string userDN() const;
    bool plendar() const { return usesPlendar(groupware_); }
    bool phpgw() const { return usesPhpgw(groupware_); }

    std::string login_;
    std::string surname_;
    std::string givenName_;
    std::string mail_;
    std::string organisation_;
    std::string country_;
    std::string organisationalUnit_;
    std::string description_;
    std::string homePhone_;
    std::string mobile_;
    std::string pager_;
    std::string telephone_;
    std::string homeDirectory_ = "null";
    std::string loginShell_ = "null";
    std::string fax_;
    std::list<std::string> aliases_;
    std::string commonName_;
    std::string userPassword_;
    std::string photoFile_;
    std::string mailEnabled_ = "ok";
    std::string groupware_ = "all";
    std::list<std::string> classes_;
    LDAPAttributeList attributes_;
    unsigned gidNumber_ = 100;
    unsigned uidNumber_ = 0;
    bool uidNumberChosen_ = false;  // found free here, not given
    int passwordChangeDay_ = todayDayNumber();
    int shadowMax_ = 99999;
    bool globalAddressBook_ = false;
    bool extension_ = false;
    SessionSettings directory_;
    // Set with -dryrun: every check and derivation runs, and what would be
    // written is printed as LDIF instead.
    std::unique_ptr<LdifWriter> plan_;
    std::unique_ptr<std::ostringstream> planText_ = std::make_unique<std::ostringstream>();
    bool genpw_ = false;
    std::string madePassword_;
    bool passwordHashed_ = false;
    bool cellValues_ = false;  // values arriving are UTF-8 already
    bool photoFromRoster_ = false;
    std::vector<Written> written_;
    struct Pending {
        int messageId;
        Written written;
        std::string failure;
        std::shared_ptr<const LDAPEntry> replaceable = nullptr;  // see addEntry
    };
    std::vector<Pending> pending_;
    std::set<std::string> given_;  // names from the command line or standard input
    std::unique_ptr<DirectorySession> ownSession_;
    DirectorySession* session_ = nullptr;
    BatchLedger* ledger_ = nullptr;
};

// The help text.
void newacctUsage(std::ostream& out);

// The lowest user ID of at least 2001 that none of `used` takes.
unsigned firstFreeUidNumber(std::vector<long> used);
