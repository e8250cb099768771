// Per-connection limits handed to LDAPConnection.
#pragma once

class LDAPConstraints {
  public:
    // How long to wait for a TCP connection to the directory server; an
    // unreachable address must end the run, not hang it.
    int networkTimeoutSeconds = 30;
};
