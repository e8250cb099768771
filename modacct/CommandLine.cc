// modacct's option table and help text.
#include "modacct/CommandLine.h"

#include <ostream>
#include <string>

#include "account/AccountOptions.h"
#include "modacct/ChangeSettings.h"

int readOptions(ChangeSettings& settings, int argc, char** argv, std::ostream& out) {
    static const std::vector<option> table = accountOptionTable({
        {"debug", no_argument, nullptr, 0},
        {"addclass", required_argument, nullptr, 0},
        {"delclass", required_argument, nullptr, 0},
        {"addalias", required_argument, nullptr, 0},
        {"delalias", required_argument, nullptr, 0},
        {"lock", no_argument, nullptr, 0},
        {"unlock", no_argument, nullptr, 0},
        {"scope", required_argument, nullptr, 0},
    });
    return readAccountOptions(table, argc, argv, out, "modacct $Revision: 1.0 $", modacctUsage,
                              [&settings](const std::string& name, const std::string& value) {
                                  settings.addParam(name, value);
                              });
}

void modacctUsage(std::ostream& out) {
    out << "Change a user's account in LDAP...\n"
           "\n"
           "  usage: modacct <options>\n"
           "         modacct <options> -batch FILE\n"
           "\n"
           " the following options are required:\n"
           "    -bDN               LDAP-base_DN\n"
           "    -al                LDAP-Admin-Login(uid)\n"
           "    -ap                LDAP-Password (or -apfile FILE)\n"
           "    -uid               uid(login) of the account to change\n"
           "\n"
           " changes (an option not given, or given empty, changes nothing):\n"
           "    -class             the account's classes are exactly these (repeat it);\n"
           "                         it leaves every other group, unless -scope\n"
           "    -scope             shell pattern of the class groups (repeat it):\n"
           "                         -class leaves only groups that match\n"
           "    -addclass          join one class (repeat it)\n"
           "    -delclass          leave one class (repeat it)\n"
           "    -mail              mailaddress\n"
           "    -alias             the aliases are exactly these (repeat it)\n"
           "    -addalias          add one alias (repeat it)\n"
           "    -delalias          remove one alias (repeat it)\n"
           "    -up                new userPassword\n"
           "    -genpw             make up a new password (printed once)\n"
           "    -reqpwdchange      force a password change at the next login\n"
           "    -lock              lock the account (the passwords are kept, marked)\n"
           "    -unlock            open the account: the old password works again,\n"
           "                         shadowExpire goes, the groupware account is active\n"
           "    -sn -givenname -initials -title -ou -l -st -street -postalcode\n"
           "    -timezone -preferredlanguage -labeleduri -birthday -religion\n"
           "    -logindestination -colocrouteaddr -faxdid -smsdid -printid\n"
           "    -dointernetconn -dyceenabled -o -c -telephonenumber -homephone\n"
           "    -mobile -pager -facsimiletelephonenumber -homedirectory\n"
           "    -loginshell -mailenabled -shadowmax -jpegphoto\n"
           "                       replace that attribute's values (repeat an\n"
           "                         option for several); cn follows sn,\n"
           "                         givenname and c; the contact card follows\n"
           "\n"
           " the run:\n"
           "    -H                 LDAP-Host                                   localhost\n"
           "    -P                 LDAP-Port                                         389\n"
           "    -tls               StartTLS on the LDAP connection\n"
           "    -ldaps             TLS from the first byte (ldaps, port usually 636)\n"
           "    -cacert            file of the certificate authorities to trust\n"
           "    -imaps             accepted for settings shared with dropacct\n"
           "    -config            file of site defaults                /etc/mailacct.conf\n"
           "    -dryrun            print the changes as LDIF, write nothing\n"
           "    -debug             trace each step on standard error\n"
           "    -batch             CSV file, one account per row (header: uid and\n"
           "                         parameter names); prints uid, status and what\n"
           "                         changed per row\n"
           "    -encoding          the batch file's encoding when not UTF-8     CP1252\n"
           "    -help              Display this help\n"
           "    -V                 print Version information\n"
           "\n";
    out.flush();
}
