// GnuTLS client sessions.
#include "wire/TlsChannel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>

namespace {

bool isAddress(const std::string& name) {
    unsigned char address[16];
    return inet_pton(AF_INET, name.c_str(), address) == 1 ||
           inet_pton(AF_INET6, name.c_str(), address) == 1;
}

// Why the certificate was not accepted, in GnuTLS's words ("The certificate
// is NOT trusted. The certificate issuer is unknown.").
std::string verificationReason(gnutls_session_t session) {
    const unsigned status = gnutls_session_get_verify_cert_status(session);
    gnutls_datum_t text{};
    if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) < 0) {
        return "verification status " + std::to_string(status);
    }
    std::string reason(reinterpret_cast<const char*>(text.data), text.size);
    gnutls_free(text.data);
    return reason.substr(0, reason.find_last_not_of(' ') + 1);
}

}  // namespace

TlsChannel::TlsChannel(std::unique_ptr<SocketChannel> connection, const TlsSettings& settings,
                       int timeoutMs)
    : serverName_(settings.serverName),
      connection_(std::move(connection)),
      readTimeoutMs_(timeoutMs) {
    const std::string& name = serverName_;
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) < 0) {
        throw TlsError("TLS set-up failed");
    }
    credentials_.reset(credentials);
    if (!settings.caFile.empty()) {
        const int loaded = gnutls_certificate_set_x509_trust_file(
            credentials, settings.caFile.c_str(), GNUTLS_X509_FMT_PEM);
        if (loaded <= 0) {
            throw TlsError("no certificate authority could be read from " + settings.caFile +
                           (loaded < 0 ? ": " + std::string(gnutls_strerror(loaded)) : ""));
        }
    } else if (!settings.caFolder.empty()) {
        if (gnutls_certificate_set_x509_trust_dir(credentials, settings.caFolder.c_str(),
                                                  GNUTLS_X509_FMT_PEM) <= 0) {
            throw TlsError("no certificate authority could be read from " + settings.caFolder);
        }
    } else if (gnutls_certificate_set_x509_system_trust(credentials) <= 0) {
        throw TlsError("the system trust store holds no certificate authority (use -cacert)");
    }
    gnutls_session_t session = nullptr;
    if (gnutls_init(&session, GNUTLS_CLIENT | GNUTLS_NO_SIGNAL) < 0) {
        throw TlsError("TLS set-up failed");
    }
    session_.reset(session);
    gnutls_set_default_priority(session);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials);
    // Names (not addresses) also go out for the server to pick its certificate.
    if (!isAddress(name)) {
        gnutls_server_name_set(session, GNUTLS_NAME_DNS, name.data(), name.size());
    }
    gnutls_session_set_verify_cert(session, name.c_str(), 0);
    gnutls_transport_set_int(session, connection_->socket());
    gnutls_handshake_set_timeout(session, timeoutMs);
    int result;
    do {
        acknowledgeAtOnce();
        result = gnutls_handshake(session);
    } while (result < 0 && gnutls_error_is_fatal(result) == 0);
    if (result == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR) {
        throw TlsError("the certificate of " + name +
                       " was not accepted: " + verificationReason(session));
    }
    if (result < 0) {
        throw TlsError("TLS handshake with " + name + " failed: " + gnutls_strerror(result));
    }
}

void TlsChannel::acknowledgeAtOnce() {
    // Servers that write a TLS reply in two small pieces (Cyrus sends its
    // session tickets apart from the next reply) wait for our acknowledgement
    // of the first before sending the second; a delayed one costs 40 ms.
    const int on = 1;
    setsockopt(connection_->socket(), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

TlsChannel::~TlsChannel() {
    // Without waiting: a peer that reads nothing any more must not hold us.
    const int socket = connection_->socket();
    fcntl(socket, F_SETFL, fcntl(socket, F_GETFL) | O_NONBLOCK);
    gnutls_bye(session_.get(), GNUTLS_SHUT_WR);
}

bool TlsChannel::waitForInput(int timeoutMs) {
    readTimeoutMs_ = timeoutMs;
    if (position_ < buffer_.size() || gnutls_record_check_pending(session_.get()) > 0) {
        return true;
    }
    acknowledgeAtOnce();
    pollfd socket{connection_->socket(), POLLIN, 0};
    return poll(&socket, 1, timeoutMs) > 0;
}

bool TlsChannel::errorPending() {
    return connection_->errorPending();
}

int TlsChannel::get() {
    if (position_ < buffer_.size()) {
        return static_cast<unsigned char>(buffer_[position_++]);
    }
    // A record that has begun must be complete within the current wait.
    gnutls_record_set_timeout(session_.get(), readTimeoutMs_);
    acknowledgeAtOnce();
    char chunk[16384];
    ssize_t received;
    do {
        received = gnutls_record_recv(session_.get(), chunk, sizeof chunk);
    } while (received == GNUTLS_E_AGAIN || received == GNUTLS_E_INTERRUPTED);
    if (received == GNUTLS_E_TIMEDOUT) {
        return kTimedOut;
    }
    // 0 is the peer's close notification; servers that just close the
    // connection (Cyrus after LOGOUT) end the same way.
    if (received <= 0) {
        return kEnd;
    }
    buffer_.assign(chunk, static_cast<size_t>(received));
    position_ = 1;
    return static_cast<unsigned char>(buffer_[0]);
}

void TlsChannel::write(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            gnutls_record_send(session_.get(), bytes.data() + sent, bytes.size() - sent);
        if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED) {
            continue;
        }
        if (n < 0) {
            throw TlsError(gnutls_strerror(static_cast<int>(n)));
        }
        sent += static_cast<size_t>(n);
    }
}
