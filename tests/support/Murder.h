// A Cyrus murder for one test (testenv/murder.sh): mupdate master, backends
// A (127.0.0.2) and B (127.0.0.3), and a frontend on 127.0.0.1 whose Sieve
// service refers users to their backend (port 4190) or, on a second port,
// proxies. Stopped when the test ends; one murder per machine at a time.
#pragma once

#include <memory>
#include <string>

#include "tests/support/Cyrus.h"

class Murder {
  public:
    // `tls`: every instance offers STARTTLS with the test certificate.
    explicit Murder(bool tls = false);
    ~Murder();
    Murder(const Murder&) = delete;
    Murder& operator=(const Murder&) = delete;

    int frontendImapPort() const { return frontendImap_; }
    int frontendSievePort() const { return 4190; }
    int frontendSieveProxyPort() const { return frontendSieveProxy_; }
    // Helpers at each instance (the frontend's proxies Sieve).
    const Cyrus& frontend() const { return *frontend_; }
    const Cyrus& backendA() const { return *backendA_; }
    const Cyrus& backendB() const { return *backendB_; }
    // Brings the frontend's copy of the mailbox list up to date at once
    // (it follows changes made on a backend only every five seconds).
    void synchronize() const;

  private:
    std::string dir_;
    int frontendImap_ = 0;
    int frontendSieveProxy_ = 0;
    std::unique_ptr<Cyrus> frontend_;
    std::unique_ptr<Cyrus> backendA_;
    std::unique_ptr<Cyrus> backendB_;
};
