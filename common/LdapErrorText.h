// How a directory error reads behind a dropacct stage's message.
#pragma once

#include <string>

class LDAPException;

// The library's text for the result, then the server's diagnostic message
// (when it sent one) behind "    additional info: ".
std::string ldapErrorText(const LDAPException& error);
