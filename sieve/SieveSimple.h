// A small synchronous client of a Sieve script server: SASL PLAIN as an
// administrator acting for a user, listing, deactivating and deleting
// scripts. Failures raise SieveException (SieveReferral when the server
// refers the session to another server), a lost connection too ("Socket
// Error"); only a failed connect raises the socket library's exception.
#pragma once

#include <list>
#include <memory>
#include <string>

#include "sieve/SieveException.h"
#include "sieve/SieveReplies.h"

class SaslSession;
class TcpLineSource;
struct TlsSettings;

class SieveSimple {
  public:
    // Connects, sets up SASL and reads the greeting (whatever it says).
    // `waits` shortens the reply waits in tests.
    SieveSimple(const char* host, unsigned int port, const ReplyWaits& waits = ReplyWaits());
    ~SieveSimple();
    SieveSimple(const SieveSimple&) = delete;
    SieveSimple& operator=(const SieveSimple&) = delete;

    // STARTTLS, the handshake, and the capabilities the server sends again;
    // raises SieveException ("starttls") when the server offers or grants
    // none or the handshake fails.
    void startTls(const TlsSettings& settings);

    void authenticate(const std::string& user, const std::string& authname,
                      const std::string& password);
    // Never raises; the reply is read and ignored. Writes nothing on a
    // connection known dead.
    void logout();

    // Whether the server offers UNAUTHENTICATE and the session still holds.
    bool canUnauthenticate() const;
    // Ends the login, so that the session can log in again for another
    // user; raises SieveException.
    void unauthenticate();

    void list(std::list<ListedScript>& scripts, std::string& active);
    // Deletes the script `name` (nothing for an empty name).
    void del(const std::string& name);
    // Deletes a script as the listing named it; when the server has no
    // script of that name and the listing's text differs read verbatim
    // (an unescaping server's), the script of that name.
    void deleteListed(const ListedScript& script);
    // Leaves the user without an active script (a server refuses to delete
    // the active one).
    void deactivate();

    int readServerResponse(std::string& message);

    // A script name as a command argument: one quoted string, escaped once.
    // Raises SieveException("delete") for a name that holds a line break or
    // a NUL byte, which no quoted string can carry (RFC 5804 allows them in
    // no script name).
    static std::string scriptArgument(const std::string& name);

  private:
    // Refuses (SieveException with `label`) a line holding CR, LF or NUL.
    void send(const std::string& line, const std::string& label);
    // Raises SieveReferral when a NO or BYE reply refers elsewhere, else
    // SieveException when the reply is not OK. After BYE the connection is
    // closed.
    void expectOk(int result, const std::string& message, const std::string& label);

    std::unique_ptr<TcpLineSource> connection_;
    std::string host_;
    SieveCapabilities capabilities_;
    std::unique_ptr<SaslSession> sasl_;
    ReplyWaits waits_;
};
