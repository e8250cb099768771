// Sieve commands over the line transport.
#include "sieve/SieveSimple.h"

#include "wire/Sasl.h"
#include "wire/TcpLineSource.h"
#include "wire/TlsChannel.h"

SieveSimple::SieveSimple(const char* host, unsigned int port, const ReplyWaits& waits)
    : connection_(std::make_unique<TcpLineSource>(host, port)), host_(host), waits_(waits) {
    try {
        sasl_ = std::make_unique<SaslSession>(plainInteractionCallbacks, "sieve", host);
    } catch (const SaslError& e) {
        throw SieveException(e.label, e.text);
    }
    // Whatever the greeting's outcome: the next command meets the server's
    // state either way.
    std::string greeting;
    readSieveCapabilities(*connection_, capabilities_, greeting, waits_);
}

void SieveSimple::startTls(const TlsSettings& settings) {
    std::string response;
    try {
        if (!capabilities_.startTls) {
            throw SieveException("starttls", "the server does not offer STARTTLS");
        }
        send("STARTTLS", "starttls");
        expectOk(readServerResponse(response), response, "starttls");
        connection_->startTls(settings, waits_.firstLineMs);
    } catch (const SieveException&) {
        connection_->abandon();
        throw;
    } catch (const TlsError& e) {
        throw SieveException("starttls", e.what());
    }
    capabilities_ = SieveCapabilities();
    if (readSieveCapabilities(*connection_, capabilities_, response, waits_) != kSieveOk) {
        throw SieveException("starttls", response);
    }
}

SieveSimple::~SieveSimple() = default;

void SieveSimple::send(const std::string& line, const std::string& label) {
    const std::string refused = unsendable(line);
    if (!refused.empty()) {
        throw SieveException(label, refused + " in a command refused");
    }
    if (!connection_->writeLine(line)) {
        throw SieveException(label, "Socket Error");
    }
}

int SieveSimple::readServerResponse(std::string& message) {
    return readSieveResponse(*connection_, message, waits_);
}

void SieveSimple::expectOk(int result, const std::string& message, const std::string& label) {
    if (result == kSieveOk) {
        return;
    }
    if (result == kSieveBye) {
        // The server closes after BYE: nothing more goes out, not even a
        // logout.
        connection_->abandon();
    }
    if (result == kSieveNo || result == kSieveBye) {
        const std::string url = sieveReferralUrl(message);
        if (!url.empty()) {
            throw SieveReferral(label, message, url);
        }
    }
    throw SieveException(label, message);
}

void SieveSimple::authenticate(const std::string& user, const std::string& authname,
                               const std::string& password) {
    // Such a server answers a correct login like a wrong password.
    if (!connection_->secure() && capabilities_.startTls && capabilities_.saslListed &&
        capabilities_.sasl.empty()) {
        throw SieveException("Authentication",
                             "the server offers no login mechanism without TLS (it offers "
                             "STARTTLS); use -tls");
    }
    std::string message;
    const int started = sasl_->startPlain(user, authname, password, message);
    if (started != SASL_OK && started != SASL_CONTINUE) {
        throw SieveException("SieveSimple::authenticate", "sasl_client_start failure");
    }
    std::string encoded;
    if (!SaslSession::encode64(message, encoded)) {
        throw SieveException("SieveSimple::authenticate", "sasl_encode64 failure");
    }
    send("AUTHENTICATE \"PLAIN\" \"" + encoded + "\"", "Authentication");
    std::string response;
    expectOk(readServerResponse(response), response, "Authentication");
}

void SieveSimple::logout() {
    // Cleanup after a failure too: a dead session is left alone, and a
    // failing one changes nothing of the outcome.
    if (connection_->alive()) {
        try {
            send("logout", "logout");
            std::string response;
            readServerResponse(response);
        } catch (const SieveException&) {
        }
    }
    sasl_->dispose();
}

bool SieveSimple::canUnauthenticate() const {
    return capabilities_.unauthenticate && connection_->alive();
}

void SieveSimple::unauthenticate() {
    send("UNAUTHENTICATE", "unauthenticate");
    std::string message;
    expectOk(readServerResponse(message), message, "unauthenticate");
    // A SASL context serves one exchange: the next login starts afresh.
    try {
        sasl_ = std::make_unique<SaslSession>(plainInteractionCallbacks, "sieve", host_.c_str());
    } catch (const SaslError& e) {
        throw SieveException(e.label, e.text);
    }
}

void SieveSimple::list(std::list<ListedScript>& scripts, std::string& active) {
    send("listscripts", "listscripts");
    std::string message;
    expectOk(readSieveListResponse(*connection_, scripts, active, message, waits_), message,
             "listscripts");
}

std::string SieveSimple::scriptArgument(const std::string& name) {
    const std::string refused = unsendable(name);
    if (!refused.empty()) {
        throw SieveException("delete",
                             "the script name holds " + refused + ", which no command can carry");
    }
    return "\"" + escapedForQuotes(name) + "\"";
}

void SieveSimple::del(const std::string& name) {
    if (name.empty()) {
        return;
    }
    send("deletescript " + scriptArgument(name), "delete");
    std::string message;
    expectOk(readServerResponse(message), message, "delete");
}

void SieveSimple::deleteListed(const ListedScript& script) {
    if (script.verbatim.empty() || script.name.empty()) {
        del(script.name);
        return;
    }
    send("deletescript " + scriptArgument(script.name), "delete");
    std::string message;
    const int result = readServerResponse(message);
    if (result == kSieveNo && sieveResponseCode(message) == "NONEXISTENT") {
        del(script.verbatim);
        return;
    }
    expectOk(result, message, "delete");
}

void SieveSimple::deactivate() {
    send("setactive \"\"", "setactive");
    std::string message;
    expectOk(readServerResponse(message), message, "setactive");
}
