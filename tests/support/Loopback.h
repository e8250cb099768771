// Sockets on the loopback interface for the test servers.
#pragma once

#include <netinet/in.h>

// The address 127.0.0.1:port.
sockaddr_in loopbackAddress(int port);
// A socket listening on a free loopback port (stored in `port`); throws
// std::runtime_error naming `who` when none can be had.
int listenOnLoopback(int& port, const char* who);
