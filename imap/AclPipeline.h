// Pipelined ACL commands on one IMAP connection: up to a window of commands
// in flight, each with its own tag, the untagged ACL lines handed to the
// command whose mailbox they name. Knows no socket: it reads a LineSource
// and gives each line to send to a callback, so tests drive it with bytes.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "imap/ImapReplies.h"
#include "wire/LineSource.h"

struct PipelinedCommand {
    std::string mailbox;  // never two commands on one mailbox in flight
    std::string text;     // the command after its tag: getacl "box"
};

struct PipelinedReply {
    // kImapOk, kImapNo, kImapBad, or kImapContinue when a continuation
    // request answered it (the one-at-a-time reader takes that as success).
    int result = kImapBad;
    // "OK ...", "NO ...", "+ ..." as the server sent it, or why the
    // command was not sent ("a line break in a command refused").
    std::string response;
    std::list<std::string> untagged;  // the ACL lines for this command
};

class AclPipeline {
  public:
    // Sends one line; false when the connection failed.
    using Sender = std::function<bool(const std::string& line)>;
    // Called with each line sent ("<< ...") and each reply read (">> ...").
    using Tracer = std::function<void(const std::string& line)>;

    // `label` begins the messages of whole-connection failures
    // ("getacl failed: Serverresponse: ..."); tags are `tagPrefix` and the
    // next number of `tagsUsed`, the session's count of tags, so that no
    // tag of the session repeats.
    AclPipeline(LineSource& source, Sender sender, const ReplyWaits& waits, std::string label,
                std::string tagPrefix, unsigned long& tagsUsed, size_t window);

    // Runs every command and returns their replies in input order. Commands
    // on a mailbox already in flight wait for it; others go ahead of them.
    // A BYE, a lost or silent connection raises IMAPException. `done` is
    // called with the number of replies so far after each one.
    std::vector<PipelinedReply> run(const std::vector<PipelinedCommand>& commands,
                                    const std::function<void(size_t)>& done = nullptr);

    Tracer trace;

  private:
    struct Run;

    LineSource& source_;
    Sender sender_;
    const ReplyWaits& waits_;
    std::string label_;
    std::string tagPrefix_;
    unsigned long& tagsUsed_;
    size_t window_;
};
