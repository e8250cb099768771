// SASL PLAIN for the IMAP and Sieve clients over Cyrus SASL 2: library
// set-up and tear-down per client, the interaction answers, and the exact
// PLAIN message (authzid NUL authcid NUL password) to send.
#pragma once

#include <sasl/sasl.h>

#include <memory>
#include <string>

// One client's use of the SASL library: sasl_client_init when created,
// sasl_client_done when destroyed, and the connection context in between.
class SaslSession {
  public:
    // Raises SaslError naming the failing call ("sasl_client_init",
    // "sasl_client_new") with the library's text.
    SaslSession(const sasl_callback_t* callbacks, const char* service, const char* host);
    ~SaslSession();
    SaslSession(const SaslSession&) = delete;
    SaslSession& operator=(const SaslSession&) = delete;

    bool hasContext() const { return context_ != nullptr; }
    // Releases the connection context; the library stays set up.
    void dispose();

    // Starts PLAIN, answering the user, authentication name and password
    // requests (a realm request stays unanswered). Returns the SASL result;
    // on SASL_OK or SASL_CONTINUE `message` holds the PLAIN message.
    int startPlain(const std::string& user, const std::string& authname,
                   const std::string& password, std::string& message);

    static std::string errorText(int result);
    // Base64 of `bytes`; false when the library refuses.
    static bool encode64(const std::string& bytes, std::string& encoded);

  private:
    bool initialised_ = false;
    sasl_conn_t* context_ = nullptr;
    // Interaction answers must outlive the context.
    std::string user_, authname_, password_;
};

// The callbacks both clients hand to the library: none has a procedure, so
// the library asks through interaction records, which startPlain answers
// (the realm request stays unanswered).
extern sasl_callback_t plainInteractionCallbacks[];

struct SaslError {
    std::string label;
    std::string text;
};
