// Abbreviated options that keep their meaning as options are added. Each
// entry of a getopt option table is marked, in its `val`, as one of the
// program's original options or a newer one. An abbreviation that fits
// exactly one original option means that option, whatever newer options it
// also fits; one that fits no original option may stand for a newer option
// only when it fits exactly one of all options. The arguments are handed to
// getopt_long_only with such abbreviations written out in full.
#pragma once

#include <getopt.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

constexpr int kOriginalOption = 0;
constexpr int kNewerOption = 1;

// The entry `name` (without dashes, before any "=") stands for: an exact
// match, else as described above; nullptr when it fits none or is ambiguous.
const option* resolveOption(const option* options, const std::string& name);

class OptionAbbreviations {
  public:
    // `options` ends with an entry whose name is null.
    OptionAbbreviations(const option* options, int argc, char** argv);
    OptionAbbreviations(const OptionAbbreviations&) = delete;
    OptionAbbreviations& operator=(const OptionAbbreviations&) = delete;

    int argc() const { return static_cast<int>(argv_.size()) - 1; }
    // Option values stay the caller's own strings, so that they can be
    // erased from the process's argument area.
    char** argv() { return argv_.data(); }
    // The argument as the caller gave it, for messages.
    std::string given(const char* argument) const;

  private:
    std::deque<std::string> written_;  // full names; a deque keeps them in place
    std::vector<char*> argv_;
    std::map<const char*, std::string> given_;
};
