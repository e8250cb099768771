// The administrator's bind.
#include "common/AdminSession.h"

void openAdminSession(std::unique_ptr<LDAPConnection>& connection, const DirectoryParams& params) {
    connection = std::make_unique<LDAPConnection>(params.host, params.port);
    // The admin login and base DN are the administrator's own configuration
    // and go in as given.
    connection->bind("uid=" + params.adminLogin + "," + params.baseDN, params.adminPassword);
}
