// TLS (GnuTLS) on a connected TCP socket, for implicit TLS and after a
// STARTTLS: the handshake verifies the server's certificate chain and name
// before a byte of the session goes out.
#pragma once

#include <gnutls/gnutls.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "wire/ByteChannel.h"

struct TlsSettings {
    // Certificate authorities to trust (PEM), or a folder of them; neither:
    // the system trust store.
    std::string caFile;
    std::string caFolder;
    // The server's name as the user gave it: a host name, or an address,
    // which then must be among the certificate's IP addresses.
    std::string serverName;
};

// A TLS session that could not be set up; what() names the reason.
class TlsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TlsChannel : public ByteChannel {
  public:
    // Takes the connection over and completes the handshake within
    // `timeoutMs`; raises TlsError (the connection is then closed).
    TlsChannel(std::unique_ptr<SocketChannel> connection, const TlsSettings& settings,
               int timeoutMs);
    // Sends the close notification; a peer that is gone already is fine.
    ~TlsChannel() override;

    bool waitForInput(int timeoutMs) override;
    bool errorPending() override;
    int get() override;
    // Raises TlsError when the connection fails.
    void write(const std::string& bytes) override;

  private:
    void acknowledgeAtOnce();

    struct SessionFree {
        void operator()(gnutls_session_t session) const { gnutls_deinit(session); }
    };
    struct CredentialsFree {
        void operator()(gnutls_certificate_credentials_t c) const {
            gnutls_certificate_free_credentials(c);
        }
    };

    // GnuTLS keeps a pointer to the name it verifies for the whole session.
    const std::string serverName_;
    std::unique_ptr<SocketChannel> connection_;
    std::unique_ptr<gnutls_certificate_credentials_st, CredentialsFree> credentials_;
    std::unique_ptr<gnutls_session_int, SessionFree> session_;
    std::string buffer_;
    size_t position_ = 0;
    int readTimeoutMs_ = 0;
};
