// A replicated directory for one test: two providers of o=site that
// replicate to each other (delta-syncrepl), and on request a read-only
// consumer of the first, all from testenv/slapd.sh, killed when the test
// ends.
#pragma once

#include <string>
#include <utility>

#include "tests/support/Slapd.h"

class ProviderPair {
  public:
    ProviderPair();
    ~ProviderPair();
    ProviderPair(const ProviderPair&) = delete;
    ProviderPair& operator=(const ProviderPair&) = delete;

    const Slapd& a() const { return a_; }
    const Slapd& b() const { return b_; }
    // Starts a consumer of A that refers writes to A; its port.
    int startConsumer();
    // Waits (a few seconds at most) until both providers hold the same
    // entries, entryUUIDs included; true when they do.
    bool converge() const;

  private:
    std::string dir_;
    std::pair<int, int> ports_;
    Slapd a_;
    Slapd b_;
};
