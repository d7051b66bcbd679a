// Which local account is at the other end of a client's connection: the peer credentials of a
// local (Unix) socket, or, for a TCP connection from this machine's loopback address, the owner
// of the client's socket as the kernel tells (a sock_diag lookup; else its tables, /proc/net/tcp
// and tcp6). Nothing is known of other addresses.
#pragma once

#include <pappl/pappl.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <optional>
#include <string>

namespace qxapp {

std::optional<uid_t> PeerUid(pappl_client_t* client);

// The same for a connected socket.
std::optional<uid_t> PeerUidOfSocket(int fd);

// Whether the client is connected through a local (Unix) socket.
bool IsLocalSocket(pappl_client_t* client);

// The owner of the socket whose own address is `peer` and whose remote address is `server`,
// in a kernel socket table (the text of /proc/net/tcp or tcp6).
std::optional<uid_t> SocketOwnerIn(const std::string& table, const sockaddr_storage& peer,
                                   const sockaddr_storage& server);

}  // namespace qxapp
