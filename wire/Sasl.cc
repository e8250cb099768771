// Cyrus SASL 2 glue.
#include "wire/Sasl.h"

#include <sasl/saslutil.h>

#include <vector>

sasl_callback_t plainInteractionCallbacks[] = {
    {SASL_CB_GETREALM, nullptr, nullptr}, {SASL_CB_AUTHNAME, nullptr, nullptr},
    {SASL_CB_PASS, nullptr, nullptr},     {SASL_CB_USER, nullptr, nullptr},
    {SASL_CB_LIST_END, nullptr, nullptr},
};

SaslSession::SaslSession(const sasl_callback_t* callbacks, const char* service, const char* host) {
    int result = sasl_client_init(callbacks);
    if (result != SASL_OK) {
        throw SaslError{"sasl_client_init", errorText(result)};
    }
    initialised_ = true;
    // The callbacks go to the context too: when the process already set the
    // library up (libldap does), sasl_client_init keeps the first caller's
    // global callbacks, and PLAIN would find no way to ask for its values.
    result = sasl_client_new(service, host, nullptr, nullptr, callbacks, 0, &context_);
    if (result != SASL_OK) {
        dispose();
        sasl_client_done();
        initialised_ = false;
        throw SaslError{"sasl_client_new", errorText(result)};
    }
}

SaslSession::~SaslSession() {
    dispose();
    if (initialised_) {
        sasl_client_done();
    }
}

void SaslSession::dispose() {
    if (context_) {
        sasl_dispose(&context_);
        context_ = nullptr;
    }
}

std::string SaslSession::errorText(int result) {
    const char* text = sasl_errstring(result, nullptr, nullptr);
    return text ? text : "";
}

int SaslSession::startPlain(const std::string& user, const std::string& authname,
                            const std::string& password, std::string& message) {
    if (!context_) {
        return SASL_BADPARAM;
    }
    user_ = user;
    authname_ = authname;
    password_ = password;
    sasl_interact_t* interactions = nullptr;
    const char* output = nullptr;
    unsigned outputLength = 0;
    const char* mechanism = nullptr;
    int result;
    do {
        result =
            sasl_client_start(context_, "PLAIN", &interactions, &output, &outputLength, &mechanism);
        if (result == SASL_INTERACT) {
            for (sasl_interact_t* i = interactions; i && i->id != SASL_CB_LIST_END; ++i) {
                const std::string* answer = i->id == SASL_CB_USER       ? &user_
                                            : i->id == SASL_CB_AUTHNAME ? &authname_
                                            : i->id == SASL_CB_PASS     ? &password_
                                                                        : nullptr;
                if (answer) {
                    i->result = answer->c_str();
                    i->len = static_cast<unsigned>(answer->size() + 1);
                }
            }
        }
    } while (result == SASL_INTERACT);
    if (result != SASL_OK && result != SASL_CONTINUE) {
        return result;
    }
    // With the answers' NULs counted the library's output ends in one NUL
    // past the password; the server must get the message without it.
    message.assign(output ? output : "", output ? outputLength : 0);
    if (!message.empty() && message.back() == '\0') {
        message.pop_back();
    }
    return result;
}

bool SaslSession::encode64(const std::string& bytes, std::string& encoded) {
    std::vector<char> buffer(bytes.size() / 3 * 4 + 5);
    unsigned length = 0;
    if (sasl_encode64(bytes.data(), static_cast<unsigned>(bytes.size()), buffer.data(),
                      static_cast<unsigned>(buffer.size()), &length) != SASL_OK) {
        return false;
    }
    encoded.assign(buffer.data(), length);
    return true;
}
