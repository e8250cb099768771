// The first-release option table.
#include "account/AccountOptions.h"

#include <ostream>

#include "account/LocaleText.h"
#include "common/OptionAbbreviations.h"
#include "common/ParameterInput.h"

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

std::vector<option> accountOptionTable(const std::vector<option>& own,
                                       const std::vector<option>& originals) {
    std::vector<option> table = firstReleaseOptions();
    for (option entry : originals) {
        entry.val = kOriginalOption;
        table.push_back(entry);
    }
    const std::vector<option> shared{
        {"tls", no_argument, nullptr, 0},
        {"ldaps", no_argument, nullptr, 0},
        {"imaps", no_argument, nullptr, 0},
        {"cacert", required_argument, nullptr, 0},
        {"apfile", required_argument, nullptr, 0},
        {"dryrun", no_argument, nullptr, 0},
        {"config", required_argument, nullptr, 0},
        {"batch", required_argument, nullptr, 0},
        {"encoding", required_argument, nullptr, 0},
        {"genpw", no_argument, nullptr, 0},
    };
    for (const std::vector<option>* newer : {&shared, &own}) {
        for (option entry : *newer) {
            entry.val = kNewerOption;
            table.push_back(entry);
        }
    }
    table.push_back({nullptr, 0, nullptr, 0});
    return table;
}

int readAccountOptions(const std::vector<option>& table, int argc, char** argv, std::ostream& out,
                       const std::string& version, void (*usage)(std::ostream&),
                       const std::function<void(const std::string&, const std::string&)>& take) {
    return readOptionList(table.data(), argc, argv, {"ap", "up"},
                          [&](const std::string& name, const std::string& value) {
                              if (name == "help") {
                                  usage(out);
                                  return 1;
                              }
                              if (name == "V") {
                                  out << version << "\n" << std::endl;
                                  return 1;
                              }
                              take(name, value);
                              return -1;
                          });
}

int readRunParameters(int argc, char** argv, std::istream& in,
                      const std::function<int()>& readOptions,
                      const std::function<void(const std::string&, const std::string&)>& take) {
    if (!isStdinMode(argc, argv)) {
        return readOptions();
    }
    useUtf8Locale();
    readParameterLines(in, take);
    return -1;
}
