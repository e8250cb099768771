// Directory writes sent without waiting for each answer: up to a window of
// requests in flight on one connection, each answer handed to its request's
// callback in the order sent. In a plan, the writes are written down as
// LDIF instead and count as done.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "ldap/LDAPAttributeList.h"
#include "ldap/LDAPModList.h"

class LDAPConnection;
class LDAPException;
class LdifWriter;

class WriteWindow {
  public:
    // The answer: null when the write was made, else the error (a refusal,
    // or a connection lost with the write's fate unknown).
    using Answer = std::function<void(const LDAPException*)>;

    // `plan` null: writes go to `connection` (null only in a plan).
    WriteWindow(LDAPConnection* connection, LdifWriter* plan, size_t depth = 64)
        : connection_(connection), plan_(plan), depth_(depth) {}
    ~WriteWindow() = default;
    WriteWindow(const WriteWindow&) = delete;
    WriteWindow& operator=(const WriteWindow&) = delete;

    void modify(const std::string& dn, const LDAPModList& changes, Answer answer);
    void add(const std::string& dn, const LDAPAttributeList& attributes, Answer answer);
    // Waits for every answer still out.
    void drain();
    // How many writes went out.
    size_t sent() const { return sent_; }

  private:
    void send(const std::function<int()>& start, Answer answer);
    void awaitOldest();

    struct InFlight {
        int messageId;
        Answer answer;
    };
    LDAPConnection* connection_;
    LdifWriter* plan_;
    const size_t depth_;
    std::deque<InFlight> inFlight_;
    size_t sent_ = 0;
};
