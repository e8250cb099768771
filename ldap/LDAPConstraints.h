// Per-connection limits handed to LDAPConnection.
#pragma once

class LDAPConstraints {
  public:
    // How long to wait for a TCP connection to the directory server; an
    // unreachable address must end the run, not hang it.
    int networkTimeoutSeconds = 30;
    // How long to wait for each answer (and each message of a search); as
    // long as the IMAP and Sieve clients wait for a reply.
    int answerWaitMs = 30000;
};
