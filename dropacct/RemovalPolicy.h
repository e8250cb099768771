// What a batch and a single run do differently, said in one place: chosen
// once when the run starts, asked by the stages. A single run behaves as
// dropacct always did; a batch must be safe to run again after an
// interruption, and one session serves all its accounts.
#pragma once

class RemovalSettings;

struct RemovalPolicy {
    // The policy of a run with these settings (-batch or not).
    static RemovalPolicy of(const RemovalSettings& settings);

    // A user entry or mailbox already gone counts as removed (the roster
    // is run again after an interruption); a single run reports a missing
    // entry (240) and a missing mailbox (212).
    bool missingIsGone = false;
    // A refused Sieve login is settled by the IMAP stage: nothing is left
    // of the scripts when the mailbox that held them is gone. Only with an
    // IMAP stage in the run; a single run reports the refusal (205).
    bool sieveRefusalAwaitsMailbox = false;
    // One session serves every account: the ACL commands go pipelined, a
    // Sieve session logs in again for the next user (UNAUTHENTICATE), and
    // every IMAP command has a tag of its own. A single run keeps one
    // command at a time with the fixed tags, byte for byte.
    bool sharedSessions = false;
    // A reply that does not come within the wait, or a lost connection,
    // ends the IMAP stage for every account not finished: the session is
    // out of step. A single run ends with the command's own status.
    bool silenceEndsStage = false;
};
