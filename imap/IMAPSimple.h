// A small synchronous IMAP client: one command at a time with fixed tags
// (or numbered ones, for a session that serves many accounts), LF line
// ends, LOGIN or SASL PLAIN, the mailbox, ACL and quota commands, and the
// NAMESPACE, LIST and GETACL replies. Failures raise IMAPException, a lost
// connection too ("Socket error", with the command's label); only a failed
// connect raises the socket library's exception. The -debug trace never
// shows a password or a SASL message.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "imap/IMAPException.h"
#include "imap/ImapRecords.h"
#include "imap/ImapReplies.h"

class SaslSession;
struct PipelinedCommand;
struct PipelinedReply;
class TcpLineSource;
struct TlsSettings;

class IMAPSimple {
  public:
    // `waits` shortens the reply waits (30 s for the first line, 20 s for
    // each further one) in tests.
    IMAPSimple(const char* host, unsigned int port, const ReplyWaits& waits = ReplyWaits());
    ~IMAPSimple();
    IMAPSimple(const IMAPSimple&) = delete;
    IMAPSimple& operator=(const IMAPSimple&) = delete;

    // Backslashes and double quotes escaped for an IMAP quoted string.
    static std::string escapeString(const std::string& text);
    // An ACL identifier as it goes out: bare when it is a valid IMAP atom,
    // else as one quoted string, escaped once.
    static std::string identifier(const std::string& name);

    // The mailbox and ACL commands take names as they are (as LIST and
    // NAMESPACE report them, unescaped) and send each mailbox name as one
    // quoted string, escaped here; identifiers go out as identifier() has
    // them.

    // From now on every command's tag is its fixed letters and a number
    // that no other tag of the session has ("D7" for "D1"): a reply that
    // comes after its wait cannot be taken for a later command's.
    void numberTags() { numbered_ = true; }
    // False once a reply did not come within its wait or the connection is
    // gone: what comes next on it may belong to an earlier command, so no
    // command but the logout goes out any more.
    bool inStep() const;

    // STARTTLS, then the handshake; raises IMAPException ("starttls") when
    // the server offers or grants none or the handshake fails.
    void startTls(const TlsSettings& settings);
    // The handshake right after connecting (imaps); raises IMAPException.
    void startImplicitTls(const TlsSettings& settings);

    void login(const std::string& user, const std::string& password);
    // SASL PLAIN as `authname` acting for `user`.
    void authenticate(const std::string& user, const std::string& authname,
                      const std::string& password);
    // Never raises; writes nothing on a connection known dead.
    void logout();

    void create(const std::string& mailbox);
    void del(const std::string& mailbox);
    void setACL(const std::string& mailbox, const std::string& identifier,
                const std::string& rights);
    void deleteACL(const std::string& mailbox, const std::string& identifier);
    void setQuota(const std::string& mailbox, const std::string& resource, int limit);
    void subscribe(const std::string& mailbox);

    IMAPNamespaceSet Namespace();
    std::list<IMAPFolder> list(const std::string& reference, const std::string& pattern);
    std::list<IMAPAcl> getACL(const std::string& mailbox);

    // Batch mode only (AclSweep): `commands` pipelined, `window` in flight,
    // tagged `tagPrefix` and a number of the session's count; see
    // AclPipeline::run.
    std::vector<PipelinedReply> pipeline(const std::vector<PipelinedCommand>& commands,
                                         const std::string& label, const std::string& tagPrefix,
                                         size_t window, const std::function<void(size_t)>& done);

    int readServerResponse(const std::string& tag, std::string& response,
                           std::list<std::string>* untagged);

    bool debug = false;

  private:
    // Sends a command line; raises IMAPException with `label` once the
    // session is out of step (see inStep), else as write() does.
    void send(const std::string& line, const std::string& traceLine, const std::string& label);
    // Refuses (IMAPException with `label`) a line holding CR, LF or NUL: a
    // value must never be able to start a command of its own.
    void write(const std::string& line, const std::string& traceLine, const std::string& label);
    // The tag of the command whose fixed tag is `fixed`.
    std::string tag(const std::string& fixed);
    // Sends one command, `tag` followed by `command` (`shown` in the
    // trace), whose only answer of interest is its tagged status.
    void simpleCommand(const std::string& fixed, const std::string& command,
                       const std::string& shown, const std::string& label);
    void trace(const std::string& line) const;
    // The TLS handshake; a failure raises IMAPException(`label`).
    void handshake(const TlsSettings& settings, const std::string& label);
    // Reads the greeting once, before the first command that depends on
    // it; a greeting that does not come raises IMAPException(`label`).
    void readGreeting(const std::string& label);
    // Refuses, before any credential is sent, a login the server has said
    // it would refuse without TLS.
    void checkPlainLoginAllowed(const std::string& label) const;

    std::unique_ptr<TcpLineSource> connection_;
    bool greetingRead_ = false;
    ImapCapabilities capabilities_;
    std::unique_ptr<SaslSession> sasl_;
    ReplyWaits waits_;
    bool numbered_ = false;
    unsigned long tagsUsed_ = 0;
    bool unanswered_ = false;
};
