// The window of writes in flight.
#include "modacct/WriteWindow.h"

#include "common/LdifWriter.h"
#include "ldap/LDAPConnection.h"
#include "ldap/LDAPException.h"

void WriteWindow::modify(const std::string& dn, const LDAPModList& changes, Answer answer) {
    if (plan_) {
        plan_->modify(dn, changes);
        answer(nullptr);
        return;
    }
    send([&] { return connection_->startModify(dn, &changes); }, std::move(answer));
}

void WriteWindow::add(const std::string& dn, const LDAPAttributeList& attributes, Answer answer) {
    if (plan_) {
        plan_->add(dn, attributes);
        answer(nullptr);
        return;
    }
    const LDAPEntry entry(dn, attributes);
    send([&] { return connection_->startAdd(&entry); }, std::move(answer));
}

void WriteWindow::send(const std::function<int()>& start, Answer answer) {
    if (inFlight_.size() >= depth_) {
        awaitOldest();
    }
    try {
        inFlight_.push_back({start(), std::move(answer)});
        ++sent_;
    } catch (const LDAPException& e) {
        answer(&e);
    }
}

void WriteWindow::awaitOldest() {
    InFlight oldest = std::move(inFlight_.front());
    inFlight_.pop_front();
    try {
        connection_->result(oldest.messageId);
    } catch (const LDAPException& e) {
        oldest.answer(&e);
        return;
    }
    oldest.answer(nullptr);
}

void WriteWindow::drain() {
    while (!inFlight_.empty()) {
        awaitOldest();
    }
}
