// Base64 (RFC 4648) for the few places that need it without a SASL
// session: LDIF values and the test helpers.
#pragma once

#include <string>

std::string base64(const std::string& bytes);
