#include "printer_app/peer_identity.h"

#include <netinet/in.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qxapp {
namespace {

// An address as the kernel's socket tables print it: each 32-bit word of the address as held in
// memory, in hexadecimal, then the port: "0100007F:1F90".
std::string TableAddress(const sockaddr_storage& address) {
  char text[64] = "";
  if (address.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(address);
    std::snprintf(text, sizeof text, "%08X:%04X", in.sin_addr.s_addr, ntohs(in.sin_port));
  } else if (address.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
    uint32_t words[4];
    std::memcpy(words, &in6.sin6_addr, sizeof words);
    std::snprintf(text, sizeof text, "%08X%08X%08X%08X:%04X", words[0], words[1], words[2], words[3],
                  ntohs(in6.sin6_port));
  }
  return text;
}

bool IsLoopback(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET)
    return (ntohl(reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr) >> 24) == 127;
  if (address.ss_family != AF_INET6) return false;
  const in6_addr& a = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
  if (IN6_IS_ADDR_LOOPBACK(&a)) return true;
  return IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127;
}

// An IPv4 address an IPv6 socket shows as ::ffff:a.b.c.d, as the IPv4 socket at the other end
// lists it; other addresses as they are.
sockaddr_storage Unmapped(const sockaddr_storage& address) {
  if (address.ss_family != AF_INET6) return address;
  const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
  if (!IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr)) return address;
  sockaddr_storage out{};
  auto& in = reinterpret_cast<sockaddr_in&>(out);
  in.sin_family = AF_INET;
  in.sin_port = in6.sin6_port;
  std::memcpy(&in.sin_addr, &in6.sin6_addr.s6_addr[12], 4);
  return out;
}

std::string ReadTable(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int ClientFd(pappl_client_t* client) {
  http_t* http = papplClientGetHTTP(client);
  return http ? httpGetFd(http) : -1;
}

}  // namespace

std::optional<uid_t> SocketOwnerIn(const std::string& table, const sockaddr_storage& peer,
                                   const sockaddr_storage& server) {
  const std::string local = TableAddress(peer), remote = TableAddress(server);
  if (local.empty() || remote.empty()) return std::nullopt;
  std::istringstream lines(table);
  std::string line;
  std::getline(lines, line);  // the heading
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string slot, localField, remoteField, state, queues, timer, retransmits;
    long uid = -1;
    if (!(fields >> slot >> localField >> remoteField >> state >> queues >> timer >> retransmits >> uid))
      continue;
    if (localField == local && remoteField == remote && uid >= 0) return static_cast<uid_t>(uid);
  }
  return std::nullopt;
}

bool IsLocalSocket(pappl_client_t* client) {
  sockaddr_storage self{};
  socklen_t size = sizeof self;
  const int fd = ClientFd(client);
  return fd >= 0 && getsockname(fd, reinterpret_cast<sockaddr*>(&self), &size) == 0 &&
         self.ss_family == AF_UNIX;
}

std::optional<uid_t> PeerUid(pappl_client_t* client) { return PeerUidOfSocket(ClientFd(client)); }

std::optional<uid_t> PeerUidOfSocket(int fd) {
  if (fd < 0) return std::nullopt;
  sockaddr_storage self{}, peer{};
  socklen_t selfSize = sizeof self, peerSize = sizeof peer;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&self), &selfSize) != 0) return std::nullopt;
  if (self.ss_family == AF_UNIX) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return std::nullopt;
    return credentials.uid;
  }
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 || !IsLoopback(peer))
    return std::nullopt;
  if (std::optional<uid_t> owner = SocketOwnerIn(
          ReadTable(self.ss_family == AF_INET6 ? "/proc/net/tcp6" : "/proc/net/tcp"), peer, self))
    return owner;
  if (peer.ss_family == AF_INET6 && Unmapped(peer).ss_family == AF_INET)
    return SocketOwnerIn(ReadTable("/proc/net/tcp"), Unmapped(peer), Unmapped(self));
  return std::nullopt;
}

}  // namespace qxapp
