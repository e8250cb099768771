// IMAP commands over the line transport.
#include "imap/IMAPSimple.h"

#include <algorithm>
#include <iostream>

#include "imap/AclPipeline.h"

#include "wire/Sasl.h"
#include "wire/TcpLineSource.h"
#include "wire/TlsChannel.h"

namespace {

const std::string kQuote = "\"";

std::string quoted(const std::string& text) {
    return kQuote + text + kQuote;
}

// A mailbox name or identifier as one IMAP quoted string, escaped once.
std::string quotedName(const std::string& name) {
    return quoted(IMAPSimple::escapeString(name));
}

// An IMAP atom: printable ASCII without the atom-specials.
bool isAtom(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c > ' ' && c < 0x7f && std::string("(){%*\"\\]").find(c) == std::string::npos;
    });
}

}  // namespace

IMAPSimple::IMAPSimple(const char* host, unsigned int port, const ReplyWaits& waits)
    : connection_(std::make_unique<TcpLineSource>(host, port)), waits_(waits) {
    try {
        sasl_ = std::make_unique<SaslSession>(plainInteractionCallbacks, "imap", host);
    } catch (const SaslError& e) {
        throw IMAPException(e.label, e.text);
    }
}

IMAPSimple::~IMAPSimple() = default;

std::string IMAPSimple::identifier(const std::string& name) {
    return isAtom(name) ? name : quotedName(name);
}

std::string IMAPSimple::escapeString(const std::string& text) {
    return escapedForQuotes(text);
}

void IMAPSimple::trace(const std::string& line) const {
    if (debug) {
        std::cerr << line << std::endl;
    }
}

void IMAPSimple::send(const std::string& line, const std::string& traceLine,
                      const std::string& label) {
    // After a reply that did not come in time, whatever arrives may belong
    // to that command: nothing more goes out, and each command fails as
    // against a silent server. Only the logout, whose tag is its own, does.
    if (unanswered_) {
        throw IMAPException(label, "connection timed out");
    }
    write(line, traceLine, label);
}

void IMAPSimple::write(const std::string& line, const std::string& traceLine,
                       const std::string& label) {
    const std::string refused = unsendable(line);
    if (!refused.empty()) {
        throw IMAPException(label, refused + " in a command refused");
    }
    // A connection known dead takes nothing; the command fails as if its
    // reply had met the closed connection.
    if (!connection_->alive()) {
        throw IMAPException(label, "Socket error");
    }
    trace("    << " + traceLine);
    if (!connection_->writeLine(line)) {
        throw IMAPException(label, "Socket error");
    }
}

int IMAPSimple::readServerResponse(const std::string& tag, std::string& response,
                                   std::list<std::string>* untagged) {
    const int result = readImapResponse(*connection_, tag, response, untagged, waits_);
    if (result >= kImapBad) {
        trace("    >> " + response);
    }
    if (result == kImapLineTimeout || result == kImapFirstTimeout) {
        unanswered_ = true;
    }
    return result;
}

bool IMAPSimple::inStep() const {
    return connection_->alive() && !unanswered_;
}

std::string IMAPSimple::tag(const std::string& fixed) {
    if (!numbered_) {
        return fixed;
    }
    return fixed.substr(0, fixed.find_last_not_of("0123456789") + 1) + std::to_string(++tagsUsed_);
}

void IMAPSimple::readGreeting(const std::string& label) {
    if (greetingRead_) {
        return;
    }
    greetingRead_ = true;
    // Whatever the first line says: a server that refuses us (BYE) answers
    // the next command, or closes, just the same.
    ReplyLineReader reader(*connection_, waits_);
    std::string greeting;
    const int result = reader.next(greeting);
    if (result < 0) {
        throw IMAPException(label, result == ReplyLineReader::kConnectionClosed ? "Socket error"
                                   : result == ReplyLineReader::kConnectionLost
                                       ? "connection lost"
                                       : "connection timed out");
    }
    capabilities_ = parseCapabilityCode(greeting);
}

void IMAPSimple::startTls(const TlsSettings& settings) {
    try {
        readGreeting("starttls");
        if (capabilities_.known && !capabilities_.has("STARTTLS")) {
            throw IMAPException("starttls", "the server does not offer STARTTLS");
        }
        simpleCommand("T1", "starttls", "starttls", "starttls");
    } catch (const IMAPException&) {
        connection_->abandon();
        throw;
    }
    handshake(settings, "starttls");
    // What the server said before TLS no longer counts.
    capabilities_ = ImapCapabilities();
}

void IMAPSimple::startImplicitTls(const TlsSettings& settings) {
    handshake(settings, "tls");
}

void IMAPSimple::handshake(const TlsSettings& settings, const std::string& label) {
    try {
        connection_->startTls(settings, waits_.firstLineMs);
    } catch (const TlsError& e) {
        throw IMAPException(label, e.what());
    }
    trace("    TLS with " + settings.serverName);
}

void IMAPSimple::checkPlainLoginAllowed(const std::string& label) const {
    if (!connection_->secure() && capabilities_.has("LOGINDISABLED")) {
        throw IMAPException(label,
                            "the server accepts no login without TLS (LOGINDISABLED); use -tls or "
                            "-imaps");
    }
}

void IMAPSimple::login(const std::string& user, const std::string& password) {
    readGreeting("login");
    checkPlainLoginAllowed("login");
    const std::string tagged = tag("L1");
    const std::string command = tagged + " login " + user + " ";
    send(command + quoted(password), command + "***", "login");
    std::string response;
    if (readServerResponse(tagged, response, nullptr) < 0) {
        sasl_->dispose();
        if (!connection_->secure() && response.find("under a layer") != std::string::npos) {
            response += " (the server wants TLS: use -tls or -imaps)";
        }
        throw IMAPException("login", response);
    }
}

void IMAPSimple::logout() {
    // Cleanup after a failure too: a dead session is left alone, and a
    // failing one changes nothing of the outcome.
    if (connection_->alive()) {
        try {
            const std::string tagged = tag("L2");
            write(tagged + " logout", tagged + " logout", "logout");
            std::string response;
            readServerResponse(tagged, response, nullptr);
        } catch (const IMAPException&) {
        }
    }
    sasl_->dispose();
}

void IMAPSimple::authenticate(const std::string& user, const std::string& authname,
                              const std::string& password) {
    readGreeting("Authentication");
    checkPlainLoginAllowed("Authentication");
    std::string message;
    const int started = sasl_->startPlain(user, authname, password, message);
    if (started != SASL_OK && started != SASL_CONTINUE) {
        sasl_->dispose();
        throw IMAPException("IMAPSimple::authenticate", "sasl_client_start failure");
    }
    std::string encoded;
    if (!SaslSession::encode64(message, encoded)) {
        sasl_->dispose();
        throw IMAPException("IMAPSimple::authenticate", "sasl_encode64 failure");
    }
    const std::string tagged = tag("A1");
    send(tagged + " AUTHENTICATE PLAIN", tagged + " AUTHENTICATE PLAIN", "Authentication");
    std::string response;
    const int result = readServerResponse(tagged, response, nullptr);
    if (result < 0) {
        throw IMAPException("Authentication", response);
    }
    if (result == kImapOk) {
        return;
    }
    // The PLAIN message holds the password: the trace does not show it.
    send(encoded, "***", "Authentication");
    response.clear();
    if (readServerResponse(tagged, response, nullptr) != kImapOk) {
        sasl_->dispose();
        throw IMAPException("Authentication", response);
    }
    // PLAIN is complete once its only message is sent: the library has no
    // further step to take.
}

void IMAPSimple::simpleCommand(const std::string& fixed, const std::string& command,
                               const std::string& shown, const std::string& label) {
    const std::string tagged = tag(fixed);
    send(tagged + " " + command, tagged + " " + shown, label);
    std::string response;
    if (readServerResponse(tagged, response, nullptr) < 0) {
        throw IMAPException(label, response);
    }
}

void IMAPSimple::create(const std::string& mailbox) {
    if (mailbox.empty())
        return;
    const std::string command = "create " + quotedName(mailbox);
    simpleCommand("C1", command, command, "create");
    trace("    >>" + mailbox);
}

void IMAPSimple::del(const std::string& mailbox) {
    if (mailbox.empty())
        return;
    const std::string command = "delete " + quotedName(mailbox);
    simpleCommand("D1", command, command, "delete");
}

void IMAPSimple::setACL(const std::string& mailbox, const std::string& identifier,
                        const std::string& rights) {
    if (mailbox.empty() || identifier.empty() || rights.empty())
        return;
    const std::string command =
        "setacl " + quotedName(mailbox) + " " + IMAPSimple::identifier(identifier) + " " + rights;
    simpleCommand("A1", command, command, "setacl");
}

void IMAPSimple::deleteACL(const std::string& mailbox, const std::string& identifier) {
    if (mailbox.empty() || identifier.empty())
        return;
    const std::string command =
        "deleteacl " + quotedName(mailbox) + " " + IMAPSimple::identifier(identifier);
    simpleCommand("A2", command, command, "deleteacl");
}

void IMAPSimple::setQuota(const std::string& mailbox, const std::string& resource, int limit) {
    if (mailbox.empty() || resource.empty() || limit < 0)
        return;
    const std::string command = "setquota " + quotedName(mailbox) + " (" + resource + " ";
    simpleCommand("Q1", command + std::to_string(limit) + ")", command + ")", "setquota");
}

void IMAPSimple::subscribe(const std::string& mailbox) {
    if (mailbox.empty())
        return;
    const std::string command = "subscribe " + quotedName(mailbox);
    simpleCommand("S1", command, command, "subscribe");
}

IMAPNamespaceSet IMAPSimple::Namespace() {
    const std::string tagged = tag("N1");
    send(tagged + " namespace", tagged + " namespace", "namespace");
    std::string response;
    std::list<std::string> lines;
    if (readServerResponse(tagged, response, &lines) < 0) {
        throw IMAPException("namespace", response);
    }
    // Each line is traced before it is parsed: a bad one is the last shown.
    IMAPNamespaceSet set;
    for (const std::string& line : lines) {
        trace("        << " + line);
        parseNamespaceLines({line}, response, set);
    }
    return set;
}

std::list<IMAPFolder> IMAPSimple::list(const std::string& reference, const std::string& pattern) {
    const std::string tagged = tag("LI3");
    const std::string line = tagged + " list " + reference + " " + pattern;
    send(line, line, "list");
    std::string response;
    std::list<std::string> lines;
    if (readServerResponse(tagged, response, &lines) < 0) {
        throw IMAPException("list", response);
    }
    std::list<IMAPFolder> folders;
    for (const std::string& untagged : lines) {
        IMAPFolder folder("", '.');
        folder.parseListResponse(untagged);
        folders.push_back(folder);
    }
    return folders;
}

std::list<IMAPAcl> IMAPSimple::getACL(const std::string& mailbox) {
    const std::string tagged = tag("GA3");
    const std::string line = tagged + " getacl " + quotedName(mailbox);
    send(line, line, "getacl");
    std::string response;
    std::list<std::string> lines;
    if (readServerResponse(tagged, response, &lines) < 0) {
        throw IMAPException("getacl", response);
    }
    // A server may send status and data lines of its own at any time (an
    // ALERT, say): they are no part of the ACL, as in the pipelined sweep,
    // and must not make the whole ACL unreadable.
    lines.remove_if([](const std::string& line) { return line.compare(0, 5, "* ACL") != 0; });
    return parseAclLines(lines, mailbox);
}

std::vector<PipelinedReply> IMAPSimple::pipeline(const std::vector<PipelinedCommand>& commands,
                                                 const std::string& label,
                                                 const std::string& tagPrefix, size_t window,
                                                 const std::function<void(size_t)>& done) {
    TcpLineSource& connection = *connection_;
    AclPipeline runner(
        connection, [&connection](const std::string& line) { return connection.writeLine(line); },
        waits_, label, tagPrefix, tagsUsed_, window);
    if (debug) {
        runner.trace = [this](const std::string& line) { trace(line); };
    }
    try {
        return runner.run(commands, done);
    } catch (const IMAPException&) {
        // A BYE, a lost or a silent connection: replies still owed may
        // come later.
        unanswered_ = true;
        throw;
    }
}
