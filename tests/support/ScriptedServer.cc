// Scripted loopback server.
#include "tests/support/ScriptedServer.h"

#include <gnutls/gnutls.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include "tests/support/Loopback.h"
#include "tests/support/ServerTls.h"

namespace {
// A client writing to a server that closed must see an error, not die.
const bool kIgnoreSigpipe = [] {
    signal(SIGPIPE, SIG_IGN);
    return true;
}();

bool readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}

// The server's end of a TLS session on `fd`; reads and writes go through
// it once the handshake succeeded.
class ServerSession {
  public:
    explicit ServerSession(int fd) : fd_(fd) {
        gnutls_certificate_allocate_credentials(&credentials_);
        gnutls_certificate_set_x509_key_file(credentials_, testCertificate("server.pem").c_str(),
                                             testCertificate("server.key").c_str(),
                                             GNUTLS_X509_FMT_PEM);
        gnutls_init(&session_, GNUTLS_SERVER | GNUTLS_NO_SIGNAL);
        gnutls_set_default_priority(session_);
        gnutls_credentials_set(session_, GNUTLS_CRD_CERTIFICATE, credentials_);
        gnutls_transport_set_int(session_, fd);
        gnutls_handshake_set_timeout(session_, 10000);
        int result;
        do {
            result = gnutls_handshake(session_);
        } while (result < 0 && gnutls_error_is_fatal(result) == 0);
        ok_ = result == 0;
    }
    ~ServerSession() {
        gnutls_deinit(session_);
        gnutls_certificate_free_credentials(credentials_);
    }
    bool ok() const { return ok_; }
    bool write(const std::string& bytes) {
        return gnutls_record_send(session_, bytes.data(), bytes.size()) ==
               static_cast<ssize_t>(bytes.size());
    }
    // One byte, waiting up to `ms`; false at the end or after the wait.
    bool read(char& c, int ms) {
        if (gnutls_record_check_pending(session_) == 0 && !readable(fd_, ms))
            return false;
        ssize_t n;
        do {
            n = gnutls_record_recv(session_, &c, 1);
        } while (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED);
        return n == 1;
    }

  private:
    int fd_;
    gnutls_certificate_credentials_t credentials_ = nullptr;
    gnutls_session_t session_ = nullptr;
    bool ok_ = false;
};
}  // namespace

ScriptedServer::ScriptedServer(std::vector<ScriptStep> script)
    : ScriptedServer(std::vector<std::vector<ScriptStep>>{std::move(script)}) {}

ScriptedServer::ScriptedServer(std::vector<std::vector<ScriptStep>> connections) {
    listener_ = listenOnLoopback(port_, "scripted server");
    thread_ = std::thread(&ScriptedServer::run, this, std::move(connections));
}

ScriptedServer::~ScriptedServer() {
    if (thread_.joinable())
        thread_.join();
    close(listener_);
}

std::string ScriptedServer::received() {
    if (thread_.joinable())
        thread_.join();
    return received_;
}

void ScriptedServer::run(std::vector<std::vector<ScriptStep>> connections) {
    for (const std::vector<ScriptStep>& script : connections) {
        if (!play(script))
            return;
    }
}

bool ScriptedServer::play(const std::vector<ScriptStep>& script) {
    if (!readable(listener_, 10000))
        return false;
    int connection = accept(listener_, nullptr, nullptr);
    std::unique_ptr<ServerSession> tls;
    const auto readByte = [&](char& c, int ms) {
        return tls ? tls->read(c, ms) : readable(connection, ms) && read(connection, &c, 1) == 1;
    };
    char c;
    for (const ScriptStep& step : script) {
        switch (step.kind) {
            case ScriptStep::Send:
                if (tls ? !tls->write(step.bytes)
                        : write(connection, step.bytes.data(), step.bytes.size()) < 0) {
                    tls.reset();
                    close(connection);
                    return true;
                }
                break;
            case ScriptStep::ReadLine:
                while (readByte(c, 10000)) {
                    received_ += c;
                    if (c == '\n')
                        break;
                }
                break;
            case ScriptStep::Pause:
                std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
                break;
            case ScriptStep::Close:
                tls.reset();
                close(connection);
                connection = -1;
                break;
            case ScriptStep::StartTls:
                tls = std::make_unique<ServerSession>(connection);
                if (!tls->ok()) {
                    tls.reset();
                    close(connection);
                    return true;
                }
                break;
        }
        if (connection < 0)
            return true;
    }
    // Whatever else the client sends until it closes.
    while (readByte(c, 5000))
        received_ += c;
    tls.reset();
    close(connection);
    return true;
}
