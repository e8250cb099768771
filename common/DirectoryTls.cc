// The second look at a failed directory TLS session.
#include "common/DirectoryTls.h"

#include <unistd.h>

#include "ldap/LDAPConnection.h"
#include "wire/PosixSocket.h"
#include "wire/TlsChannel.h"

namespace {

// An LDAP StartTLS extended request, message ID 1.
const char kStartTlsRequest[] =
    "\x30\x1d\x02\x01\x01\x77\x18\x80\x16"
    "1.3.6.1.4.1.1466.20037";
constexpr int kWaitMs = 10000;

// Reads one BER element (the StartTLS response) whole, so that the
// handshake starts on a clean stream; false when the server closes.
bool skipOneMessage(ByteChannel& connection) {
    auto next = [&connection]() {
        return connection.waitForInput(kWaitMs) ? connection.get() : ByteChannel::kEnd;
    };
    if (next() != 0x30) {
        return false;
    }
    int length = next();
    if (length < 0) {
        return false;
    }
    if (length & 0x80) {
        int octets = length & 0x7f;
        length = 0;
        while (octets-- > 0) {
            const int c = next();
            if (c < 0) {
                return false;
            }
            length = (length << 8) | c;
        }
    }
    while (length-- > 0) {
        if (next() < 0) {
            return false;
        }
    }
    return true;
}

// libldap checks "localhost" against this machine's name instead.
std::string nameLibldapChecks(const std::string& host) {
    if (host != "localhost") {
        return host;
    }
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : host;
}

}  // namespace

std::string diagnoseDirectoryTls(const std::string& host, int port, const LdapTls& tls) {
    if (tls.mode == LdapTls::None) {
        return "";
    }
    TlsSettings settings;
    settings.serverName = nameLibldapChecks(host);
    settings.caFile = tls.caFile.empty() ? LDAPConnection::defaultCaFile() : tls.caFile;
    if (settings.caFile.empty()) {
        settings.caFolder = LDAPConnection::defaultCaFolder();
    }
    std::unique_ptr<PosixSocket> connection;
    try {
        connection = std::make_unique<PosixSocket>(host, port, kWaitMs);
    } catch (const TlsError&) {
        return "";  // not a TLS matter: the server cannot be reached
    }
    try {
        if (tls.mode == LdapTls::StartTls) {
            connection->write(std::string(kStartTlsRequest, sizeof kStartTlsRequest - 1));
            if (!skipOneMessage(*connection)) {
                return "";
            }
        }
        TlsChannel session(std::move(connection), settings, kWaitMs);
    } catch (const TlsError& e) {
        return e.what();
    }
    return "";
}
