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

// The result code of the extended response inside `message` (the bytes of
// the sequence: message ID, then [APPLICATION 24] whose first element is
// the ENUMERATED result code) is 0. Short lengths only: the server's answer
// to our one request.
bool startTlsSucceeded(const std::string& message) {
    size_t at = 0;
    const auto byte = [&message, &at]() {
        return at < message.size() ? static_cast<unsigned char>(message[at++]) : -1;
    };
    if (byte() != 0x02) {  // INTEGER message ID
        return false;
    }
    const int idLength = byte();
    if (idLength < 1 || idLength > 4) {
        return false;
    }
    at += static_cast<size_t>(idLength);
    if (byte() != 0x78) {  // [APPLICATION 24] extended response
        return false;
    }
    const int length = byte();
    if (length < 0) {
        return false;
    }
    if (length & 0x80) {
        at += static_cast<size_t>(length & 0x7f);
    }
    return byte() == 0x0a && byte() == 0x01 && byte() == 0x00;  // ENUMERATED 0
}

// A StartTLS response is a few dozen bytes; more is not an answer to it.
constexpr int kMaxLengthOctets = 4;
constexpr long kMaxMessage = 64 * 1024;

// Reads the StartTLS response whole, so that the handshake starts on a clean
// stream; true when it is a BER sequence that holds an extended response
// with result code 0 (success). False when the server closes, refuses or
// sends something else.
bool readStartTlsResponse(ByteChannel& connection, int waitMs) {
    auto next = [&connection, waitMs]() {
        return connection.waitForInput(waitMs) ? connection.get() : ByteChannel::kEnd;
    };
    if (next() != 0x30) {
        return false;
    }
    long length = next();
    if (length < 0) {
        return false;
    }
    if (length & 0x80) {
        int octets = static_cast<int>(length & 0x7f);
        if (octets == 0 || octets > kMaxLengthOctets) {
            return false;
        }
        length = 0;
        while (octets-- > 0) {
            const int c = next();
            if (c < 0) {
                return false;
            }
            length = (length << 8) | c;
        }
    }
    if (length > kMaxMessage) {
        return false;
    }
    std::string message;
    while (length-- > 0) {
        const int c = next();
        if (c < 0) {
            return false;
        }
        message += static_cast<char>(c);
    }
    return startTlsSucceeded(message);
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

std::string diagnoseDirectoryTls(const std::string& host, int port, const LdapTls& tls,
                                 int waitMs) {
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
        connection = std::make_unique<PosixSocket>(host, port, waitMs);
    } catch (const TlsError&) {
        return "";  // not a TLS matter: the server cannot be reached
    }
    try {
        if (tls.mode == LdapTls::StartTls) {
            connection->write(std::string(kStartTlsRequest, sizeof kStartTlsRequest - 1));
            if (!readStartTlsResponse(*connection, waitMs)) {
                return "";
            }
        }
        TlsChannel session(std::move(connection), settings, waitMs);
    } catch (const TlsError& e) {
        return e.what();
    }
    return "";
}
