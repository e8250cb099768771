// TLS for the test servers: which certificate of the test authority they
// show, and whether they refuse logins without TLS. The certificates are
// made once per test program (testenv/certs.sh).
#pragma once

#include <string>

struct ServerTls {
    // "server" (localhost, 127.0.0.1), "wrong" (another name), "expired",
    // or "other" (from an authority the clients are not told to trust).
    std::string certificate = "server";
    // slapd: "security simple_bind=128"; Cyrus: "allowplaintext: no".
    bool required = false;
};

// The folder of the test certificates; `name` of one of its files.
const std::string& testCertificates();
std::string testCertificate(const std::string& name);
