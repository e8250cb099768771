// newacct's run settings: the parameters given on the command line or
// standard input (in a batch, the ones every row shares), and the run's own
// settings, its batch file and that file's encoding.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "newacct/NewAcct.h"

class RunSettings {
  public:
    // As NewAcct::addParam, raising the same errors as the parameter
    // arrives; "batch" and "encoding" are kept here.
    void addParam(const std::string& name, const std::string& value);
    void applySiteDefaults() { account_.applySiteDefaults(); }

    // The account of a single run: every parameter given, site defaults applied.
    NewAcct& account() { return account_; }
    const NewAcct& account() const { return account_; }
    const std::string& batchFile() const { return batchFile_; }
    const std::string& encoding() const { return encoding_; }

    // Gives `account` the parameters given here in their order, but those
    // named in `overridden`.
    void replay(NewAcct& account, const std::set<std::string>& overridden) const;

  private:
    NewAcct account_;
    std::vector<std::pair<std::string, std::string>> given_;
    std::string batchFile_;
    std::string encoding_;
};
