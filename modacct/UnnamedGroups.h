// The warning of a run in which -class, given without -scope, takes
// accounts out of groups that no -class names: -class then sets the
// classes among every group one level below the base, so a pupil moved to
// a new class also leaves users, audio or the choir. The warning names
// those groups (for many accounts, each with how many left it), so that an
// administrator sees them in a plan before they are gone.
#pragma once

#include <string>
#include <utility>
#include <vector>

class UnnamedGroups {
  public:
    // The account `login` leaves (or left) `groups`.
    void add(const std::string& login, const std::vector<std::string>& groups);
    // The warning line, without its newline; empty when no account left a
    // group unnamed.
    std::string warning() const;

  private:
    std::vector<std::string> logins_;
    std::vector<std::pair<std::string, size_t>> groups_;  // name, accounts
};
