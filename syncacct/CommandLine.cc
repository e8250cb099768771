// syncacct's option table and help text.
#include "syncacct/CommandLine.h"

#include <ostream>
#include <string>

#include "account/AccountOptions.h"
#include "syncacct/SyncSettings.h"

int readOptions(SyncSettings& settings, int argc, char** argv, std::ostream& out) {
    static const std::vector<option> table = accountOptionTable(
        {
            {"scope", required_argument, nullptr, 0},
            {"grace", required_argument, nullptr, 0},
            {"maxleavers", required_argument, nullptr, 0},
            {"force", no_argument, nullptr, 0},
        },
        // dropacct's, since its first release.
        {
            {"CH", required_argument, nullptr, 0},
            {"CP", required_argument, nullptr, 0},
            {"SP", required_argument, nullptr, 0},
            {"noacl", no_argument, nullptr, 0},
            {"debug", no_argument, nullptr, 0},
        });
    return readAccountOptions(table, argc, argv, out, "syncacct $Revision: 1.0 $", syncacctUsage,
                              [&settings](const std::string& name, const std::string& value) {
                                  settings.addParam(name, value);
                              });
}

void syncacctUsage(std::ostream& out) {
    out << "Bring the accounts of a school's classes in line with the office's roster...\n"
           "\n"
           "  usage: syncacct <options> -batch FILE -scope PATTERN [-scope PATTERN ...]\n"
           "\n"
           " the following options are required:\n"
           "    -bDN               LDAP-base_DN\n"
           "    -al                LDAP-Admin-Login(uid)\n"
           "    -ap                LDAP-Password (or -apfile FILE)\n"
           "    -batch             the roster: CSV file, one pupil per row (header:\n"
           "                         uid, parameter names, class columns)\n"
           "    -scope             shell pattern of the class groups the sync governs\n"
           "                         (repeat it); their members that the roster does\n"
           "                         not name are leavers\n"
           "\n"
           " the sync:\n"
           "    -grace             remove leavers locked at least this many days ago\n"
           "                         from the directory, Sieve and IMAP     never\n"
           "    -maxleavers        refuse to lock or remove more than this percentage\n"
           "                         of the managed accounts                   10\n"
           "    -force             go on beyond -maxleavers\n"
           "    -dryrun            print the summary, the LDIF and a line per account,\n"
           "                         change nothing\n"
           "    -encoding          the roster's encoding when not UTF-8        CP1252\n"
           "\n"
           " new accounts (as newacct -batch makes them; a roster cell overrides):\n"
           "    -o -c -genpw -reqpwdchange -class -gidnumber -groupware -mailenabled\n"
           "    -homedirectory -loginshell -shadowmax -writeglobaladdress ... and every\n"
           "    other newacct parameter; existing accounts change only by their cells\n"
           "\n"
           " the servers:\n"
           "    -H                 LDAP-Host                                   localhost\n"
           "    -P                 LDAP-Port                                         389\n"
           "    -CH                Cyrus-Host                                  localhost\n"
           "    -CP                Cyrus-Port                                        143\n"
           "    -SP                SIEVE-Port                                       2000\n"
           "    -noacl             do not process IMAP ACLs when removing\n"
           "    -tls               StartTLS on every connection (LDAP, IMAP, Sieve)\n"
           "    -ldaps             TLS from the first byte for LDAP (port usually 636)\n"
           "    -imaps             TLS from the first byte for IMAP (port usually 993)\n"
           "    -cacert            file of the certificate authorities to trust\n"
           "    -config            file of site defaults                /etc/mailacct.conf\n"
           "    -debug             trace each step on standard error\n"
           "    -help              Display this help\n"
           "    -V                 print Version information\n"
           "\n";
    out.flush();
}
