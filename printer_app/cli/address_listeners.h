// The TCP addresses the app serves, all of them or none: a client of one address must not find
// another program there. localhost is 127.0.0.1 and ::1; --network every IPv4 and IPv6 address.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace qxapp {

// Listens on each address on `port`. Empty when it does; else which address it cannot have and
// why. A machine without IPv6 is served on IPv4 only (logged).
std::string ListenOnEveryAddress(pappl_system_t* system, bool network, int port);

}  // namespace qxapp
