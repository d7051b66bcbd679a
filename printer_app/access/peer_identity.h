// Which local account is at the other end of a client's connection: the peer credentials of a
// local (Unix) socket, or, for a TCP connection from this machine's loopback address, the owner
// of the client's socket as the kernel tells (a sock_diag lookup; else its tables, /proc/net/tcp
// and tcp6). Only the client's live socket names anyone: its exact address pair, a socket still
// held by a process (an inode) and a state of an open connection. A socket its owner has closed
// is listed as root's and is no one's here. Nothing is known of other addresses. A connection's
// account is taken as it is accepted and kept with it.
#pragma once

#include <pappl/pappl.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <optional>
#include <string>

namespace qxapp {

std::optional<uid_t> PeerUid(pappl_client_t* client);

// A connection accepted: its account is taken now and kept until ForgetPeer, as it closes.
void RememberPeer(pappl_client_t* client);
void ForgetPeer(pappl_client_t* client);

// The same for a connected socket.
std::optional<uid_t> PeerUidOfSocket(int fd);

// The client's address as digits ("127.0.0.1", "::1"; an IPv4 client of an IPv6 socket as
// IPv4), or "local" for a local socket.
std::string PeerAddress(pappl_client_t* client);

// Whether the client is connected through a local (Unix) socket.
bool IsLocalSocket(pappl_client_t* client);

// The owner of the socket whose own address is `peer` and whose remote address is `server`,
// in a kernel socket table (the text of /proc/net/tcp or tcp6).
std::optional<uid_t> SocketOwnerIn(const std::string& table, const sockaddr_storage& peer,
                                   const sockaddr_storage& server);

}  // namespace qxapp
