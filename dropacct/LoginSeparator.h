// Logins that name no user of the mail server. Cyrus forms a user's
// mailbox as the other-users prefix and the login ("user.jdoe"), and the
// Sieve server finds the user by that mailbox: a login holding the
// server's hierarchy separator ("anna.work") names a folder of another
// user (anna's "work"), never a user of its own. Such a login is refused
// on the IMAP server, and on the Sieve server when the run has an IMAP
// server to name the separator, before anything is removed there. (The
// Sieve server itself refuses a login that holds its separator.)
#pragma once

#include <string>
#include <vector>

class AccountRemoval;

// The status of an account whose login holds the hierarchy separator.
constexpr int kLoginHoldsSeparator = -22;

// The separators a Cyrus server may use: only logins that hold one of
// these make the stages ask the server which it uses.
bool mayHoldSeparator(const std::string& login);
bool anyMayHoldSeparator(const std::vector<AccountRemoval*>& accounts);

// Ends every account still going whose login holds one of `separators`
// (the server's separator; empty for a flat hierarchy).
void refuseSeparatorLogins(const std::vector<AccountRemoval*>& accounts,
                           const std::string& separators);
