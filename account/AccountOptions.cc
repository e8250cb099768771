// The first-release option table.
#include "account/AccountOptions.h"

#include "common/OptionAbbreviations.h"

namespace {

option required(const char* name) {
    return {name, required_argument, nullptr, kOriginalOption};
}

option flag(const char* name) {
    return {name, no_argument, nullptr, kOriginalOption};
}

}  // namespace

const std::vector<option>& firstReleaseOptions() {
    static const std::vector<option> options{
        required("bDN"),
        required("al"),
        required("ap"),
        required("up"),
        required("homedirectory"),
        required("loginshell"),
        required("H"),
        required("P"),
        required("gidnumber"),
        required("uidnumber"),
        required("writeglobaladdress"),
        flag("help"),
        flag("V"),
        required("uid"),
        required("sn"),
        required("givenname"),
        required("mail"),
        required("alias"),
        required("o"),
        required("l"),
        required("c"),
        required("timezone"),
        required("preferredlanguage"),
        required("ou"),
        required("title"),
        required("initials"),
        required("homephone"),
        required("mobile"),
        required("facsimiletelephonenumber"),
        required("pager"),
        required("telephonenumber"),
        required("labeleduri"),
        required("street"),
        required("postalcode"),
        required("st"),
        required("jpegphoto"),
        required("shadowmax"),
        flag("reqpwdchange"),
        required("logindestination"),
        required("birthday"),
        required("faxdid"),
        required("smsdid"),
        required("printid"),
        required("dointernetconn"),
        required("dyceenabled"),
        required("colocrouteaddr"),
        required("religion"),
        required("mailenabled"),
        required("groupware"),
        required("class"),
    };
    return options;
}

std::vector<option> accountOptionTable(const std::vector<option>& newer) {
    std::vector<option> table = firstReleaseOptions();
    for (option entry : newer) {
        entry.val = kNewerOption;
        table.push_back(entry);
    }
    table.push_back({nullptr, 0, nullptr, 0});
    return table;
}
