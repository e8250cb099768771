// Recording the shared parameters for a batch's rows.
#include "newacct/RunSettings.h"

void RunSettings::addParam(const std::string& name, const std::string& value) {
    if (name == "batch") {
        batchFile_ = value;
        return;
    }
    if (name == "encoding") {
        encoding_ = value;
        return;
    }
    account_.addParam(name, value);
    given_.emplace_back(name, value);
}

void RunSettings::replay(NewAcct& account, const std::set<std::string>& overridden) const {
    for (const auto& [name, value] : given_) {
        if (overridden.count(name) == 0) {
            account.addParam(name, value);
        }
    }
}
