// Connection cost with and without TLS, through the programs' own clients:
// connect, (STARTTLS or implicit TLS,) log in and run one command, for the
// directory, IMAP and Sieve. Prints the median of each in milliseconds.
//
//   tls_connect HOST LDAP LDAPS IMAP IMAPS SIEVE CAFILE USER ROUNDS
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/AdminSession.h"
#include "imap/IMAPSimple.h"
#include "sieve/SieveSimple.h"
#include "wire/TlsChannel.h"

namespace {

double medianMs(int rounds, const std::function<void()>& once) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        once();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 10) {
        std::fprintf(stderr,
                     "usage: tls_connect HOST LDAP LDAPS IMAP IMAPS SIEVE CAFILE USER "
                     "ROUNDS\n");
        return 2;
    }
    const std::string host = argv[1];
    const int ldap = std::stoi(argv[2]), ldaps = std::stoi(argv[3]), imap = std::stoi(argv[4]),
              imaps = std::stoi(argv[5]), sieve = std::stoi(argv[6]);
    const std::string ca = argv[7], user = argv[8];
    const int rounds = std::stoi(argv[9]);
    const TlsSettings settings{ca, "", host};

    auto directory = [&](LdapTls::Mode mode, int port) {
        DirectoryParams params{host, port, "o=site", "admin", "secret", LdapTls{mode, ca}};
        std::unique_ptr<LDAPConnection> connection;
        openAdminSession(connection, params);
        connection->search("o=site", LDAPConnection::SEARCH_BASE, "(objectClass=*)")->getNext();
        connection->unbind();
    };
    auto mail = [&](int mode, int port) {
        IMAPSimple client(host.c_str(), port);
        if (mode == 1)
            client.startTls(settings);
        if (mode == 2)
            client.startImplicitTls(settings);
        client.login("admin", "secret");
        client.Namespace();
        client.logout();
    };
    auto scripts = [&](bool tls) {
        SieveSimple client(host.c_str(), sieve);
        if (tls)
            client.startTls(settings);
        client.authenticate(user, "admin", "secret");
        std::list<ListedScript> names;
        std::string active;
        client.list(names, active);
        client.logout();
    };
    struct Row {
        const char* name;
        std::function<void()> plain, tls;
    } rows[] = {
        {"LDAP StartTLS", [&] { directory(LdapTls::None, ldap); },
         [&] { directory(LdapTls::StartTls, ldap); }},
        {"LDAP ldaps", [&] { directory(LdapTls::None, ldap); },
         [&] { directory(LdapTls::Ldaps, ldaps); }},
        {"IMAP STARTTLS", [&] { mail(0, imap); }, [&] { mail(1, imap); }},
        {"IMAP imaps", [&] { mail(0, imap); }, [&] { mail(2, imaps); }},
        {"Sieve STARTTLS", [&] { scripts(false); }, [&] { scripts(true); }},
    };
    std::printf("%-16s %10s %10s %8s\n", "connection", "plain ms", "TLS ms", "ratio");
    for (const Row& row : rows) {
        const double plain = medianMs(rounds, row.plain);
        const double tls = medianMs(rounds, row.tls);
        std::printf("%-16s %10.2f %10.2f %8.2f\n", row.name, plain, tls, tls / plain);
    }
    return 0;
}
