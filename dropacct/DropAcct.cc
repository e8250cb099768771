// A removal run: the stages in their order over the run's accounts.
#include "dropacct/DropAcct.h"

#include <iostream>

#include "common/MyException.h"

std::string DropAcct::siteDefaults = "/etc/mailacct.conf";

DropAcct::DropAcct() = default;

DropAcct::DropAcct(RemovalSettings settings)
    : stdinMode(settings.stdinMode), debug(settings.debug), settings_(std::move(settings)) {}

void DropAcct::addParam(const std::string& name, const std::string& value) {
    settings_.store(name, value);
    settings_.markGiven(name);
}

void DropAcct::applySiteDefaults() {
    settings_.applySiteDefaults(siteDefaults);
}

void DropAcct::checkParams() {
    settings_.stdinMode = stdinMode;
    settings_.debug = debug;
    settings_.check();
}

void DropAcct::dropAcct() {
    single_ = {AccountRemoval(settings_.uid)};
    removeAll(single_);
    if (single_.front().failure()) {
        throw *single_.front().failure();
    }
    printPlan(std::cout);
}

void DropAcct::removeAll(std::vector<AccountRemoval>& accounts, const RemovalProgress& progress) {
    settings_.stdinMode = stdinMode;
    settings_.debug = debug;
    policy_ = RemovalPolicy::of(settings_);
    if (settings_.dryRun) {
        plan_ = std::make_unique<LdifWriter>(planText_);
        plan_->comment("dropacct -dryrun: what removing " +
                       (accounts.size() == 1 && !settings_.batch()
                            ? accounts.front().uid()
                            : std::to_string(accounts.size()) + " accounts") +
                       " would change, in order; nothing was changed");
    }
    std::vector<AccountRemoval*> going;
    for (AccountRemoval& account : accounts) {
        going.push_back(&account);
    }
    directory_ = std::make_unique<DirectoryStage>(settings_, policy_, plan_.get());
    const auto report = [&progress](AccountRemoval& account) {
        if (!account.reported) {
            account.reported = true;
            if (progress.settled) {
                progress.settled(account);
            }
        }
    };
    const auto reportFailures = [&]() {
        for (AccountRemoval* account : going) {
            if (!account->going()) {
                report(*account);
            }
        }
    };
    const bool directoryLast = settings_.ldap && settings_.directoryLast;
    // With the directory still to come, an account is not finished when
    // its mailbox is gone.
    imap_ = std::make_unique<ImapStage>(
        settings_, policy_, plan_.get(),
        RemovalProgress{directoryLast ? RemovalProgress().settled : report, progress.swept});
    // Only the IMAP server names its hierarchy separator; without an IMAP
    // stage the Sieve stage has no one to ask.
    SeparatorLookup separators;
    if (settings_.imap) {
        separators = [this] { return imap_->separators(); };
    }
    sieve_ = std::make_unique<SieveStage>(settings_, policy_, plan_.get(), separators);
    // A stage starts only for accounts still going: a run whose every
    // account failed contacts no further server.
    const auto anyGoing = [&going] { return !stillGoing(going).empty(); };
    try {
        if (settings_.ldap && !directoryLast && anyGoing()) {
            directory_->run(going);
            reportFailures();
        }
        // The scripts live inside the user's mailbox on Cyrus: deleting the
        // mailbox first would delete them and make the Sieve login fail.
        if (settings_.sieve && anyGoing()) {
            sieve_->run(going);
            reportFailures();
        }
        if (settings_.imap && anyGoing()) {
            imap_->run(going);
        }
        if (directoryLast && anyGoing()) {
            directory_->run(going);
        }
    } catch (const MyException& lost) {
        // A server failed as a whole: the batch stops there.
        for (AccountRemoval* account : going) {
            account->fail(lost);
        }
    }
    for (AccountRemoval* account : going) {
        // Refused by Sieve, and no IMAP stage to tell whether the mailbox
        // that held the scripts is gone.
        if (account->sieveRefused && !settings_.imap) {
            account->fail(*account->sieveRefused);
        }
        report(*account);
    }
}

void DropAcct::printPlan(std::ostream& out) {
    if (plan_) {
        plan_->publish();
        out << planText_.str();
        out.flush();
    }
}

void DropAcct::audit(int status, const std::string& message) const {
    if (single_.empty()) {
        AccountRemoval unstarted(settings_.uid);
        if (status != 0) {
            unstarted.fail(MyException(status, message));
        }
        unstarted.audit(settings_);
    } else {
        single_.front().audit(settings_);
    }
}

void dropacctUsage(std::ostream& out) {
    out << "delete a user ...\n"
           "\n"
           "    dropacct -al <login> -ap <password> -uid <uid>\n"
           "           [-imap &| -ldap -bDN <base_DN> &| -sieve &| \n"
           "           [-CH <Cyrus-Host>] [-CP Cyrus-Port] [-SP Sieve-Port]\n"
           "           [-LH <LDAP-Host>] [-LP LDAP-Port]\n"
           "\n"
           "    dropacct -help\n"
           "\n"
           "  option    description                        default\n"
           "\n"
           " -imap    delete user from cyrus\n"
           " -ldap    delete user from ldap\n"
           " -sieve   delete sieve scripts for this user\n"
           " -CH      Cyrus-Host                          localhost\n"
           " -CP      Cyrus-Port                             143\n"
           " -SP      SIEVE-Port                            2000\n"
           " -PH      PostgreSQL-Host                     localhost\n"
           " -PP      PostgreSQL-Port                        5432\n"
           " -LH      LDAP-Host                           localhost\n"
           " -LP      LDAP-Port                              389\n"
           " -bDN     base DN\n"
           " -al      admin_log\n"
           " -ap      admin-Password\n"
           " -pglogin  PostgreSQL login\n"
           " -pgpasswd PostgreSQL passwd\n"
           " -uid     uid to delete\n"
           " -batch   CSV file whose uid column names the accounts to delete\n"
           " -encoding  encoding of the -batch file     UTF-8, else Windows-1252\n"
           " -dryrun  print what would be removed (LDIF), change nothing\n"
           " -apfile  file whose first line is the admin-Password\n"
           " -config  file of site defaults                /etc/mailacct.conf\n"
           " -tls     StartTLS on every connection (LDAP, IMAP, Sieve)\n"
           " -ldaps   TLS from the first byte for LDAP (port usually 636)\n"
           " -imaps   TLS from the first byte for IMAP (port usually 993)\n"
           "          (with any of these three, every connection uses TLS:\n"
           "           StartTLS where TLS does not start with the first byte)\n"
           " -cacert  file of the certificate authorities to trust\n"
           "          (default: libldap's TLS_CACERT; the system's for IMAP and Sieve)\n"
           " -noacl   do not process IMAP ACLs\n"
           " -help    this message\n";
    out.flush();
}
