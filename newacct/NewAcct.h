// One account creation run: the account's data as it arrives, its checks,
// the values derived from the directory, and the entries written for it.
#pragma once

#include <ctime>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/LdifWriter.h"
#include "common/TlsOptions.h"
#include "ldap/LDAPAttributeList.h"
#include "ldap/LDAPConnection.h"
#include "ldap/LDAPException.h"

class NewAcct {
  public:
    NewAcct();

    // Stores one parameter from the command line or standard input; raises
    // MyException(255, "wrong option: <name>") for a name it does not know.
    void addParam(const std::string& name, const std::string& value);
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

    void ldapBind();
    void checkMailUnique();
    void checkAliases();
    bool isAddressUnique(std::string address);
    void initUidNumber();
    void initUserPwd();
    void initUserAci();

    void addUserToLDAP();
    void addAddressBookBase();
    void addGlobalAddressBookAccess();
    void addToPHPGWAddressBook();
    void addToClasses();

    std::string convertToUTF8(const std::string& value) const;

    // Closes the directory session, if one was opened.
    void unbind();

    bool dryRun() const { return plan_ != nullptr; }
    // Logs the run's audit line (administrator, uid, and what is settled of
    // the uid number, group and home) with its exit status.
    void audit(int status, const std::string& message) const;

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
    Conflicts conflictsOfRefusal(const LDAPException& refusal) const;
    void withdrawUserEntry();
    // Writes one entry or change, or in a plan writes it down.
    void addEntry(const LDAPEntry& entry);
    void modifyEntry(const std::string& dn, const LDAPModList& modifications);
    void checkAddressesSettled(const LDAPException* refusal);
    std::vector<std::string> claimedAddresses() const;
    // The mail address and the aliases, as the directory stores them.
    std::vector<std::string> addressValues() const;
    // True when an account other than ours holds `value` as mail or alias.
    bool heldByAnother(const std::string& value);
    unsigned scanFirstFreeUidNumber();
    // The first number from `from` upward that no POSIX account holds now.
    unsigned nextFreeUidNumber(unsigned from);

    void addAttribute(const std::string& name, const std::string& value);
    void readPhoto();
    std::string userDN() const;
    bool plendar() const { return groupware_ == "plendar" || groupware_ == "all"; }
    bool phpgw() const { return groupware_ == "phpgw" || groupware_ == "all"; }

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
    std::string baseDN_;
    std::string adminLogin_;
    std::string adminPassword_;
    std::string userPassword_;
    std::string host_ = "localhost";
    std::string photoFile_;
    std::string mailEnabled_ = "ok";
    std::string groupware_ = "all";
    std::list<std::string> classes_;
    LDAPAttributeList attributes_;
    int port_ = 389;
    unsigned gidNumber_ = 100;
    unsigned uidNumber_ = 0;
    bool uidNumberChosen_ = false;  // found free here, not given
    int passwordChangeDay_ = static_cast<int>(std::time(nullptr) / 86400);
    int shadowMax_ = 99999;
    bool globalAddressBook_ = false;
    bool extension_ = false;
    TlsOptions tls_;
    // Set with -dryrun: every check and derivation runs, and what would be
    // written is printed as LDIF instead.
    std::unique_ptr<LdifWriter> plan_;
    std::string configFile_;
    std::set<std::string> given_;  // names from the command line or standard input
    std::unique_ptr<LDAPConnection> connection_;
};

// The help text.
void usage(std::ostream& out);

// The lowest user ID of at least 2001 that none of `used` takes.
unsigned firstFreeUidNumber(std::vector<long> used);
