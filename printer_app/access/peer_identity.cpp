#include "printer_app/access/peer_identity.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unordered_map>

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

// TCP states in which the client's socket is still the live end of this connection. An
// orphaned socket (closed by its owner, FIN_WAIT or TIME_WAIT) has no inode and is listed as
// root's: never taken for anyone's.
bool IsLiveState(unsigned state) {
  constexpr unsigned kEstablished = 1, kFinWait1 = 4, kFinWait2 = 5;
  return state == kEstablished || state == kFinWait1 || state == kFinWait2;
}

bool SameSocketId(const inet_diag_sockid& a, const inet_diag_sockid& b, size_t addressSize) {
  return a.idiag_sport == b.idiag_sport && a.idiag_dport == b.idiag_dport &&
         std::memcmp(a.idiag_src, b.idiag_src, addressSize) == 0 &&
         std::memcmp(a.idiag_dst, b.idiag_dst, addressSize) == 0;
}

// What the kernel says of the one TCP socket whose own address is `peer` and whose remote
// address is `server` (a sock_diag lookup by address: it costs the same however many sockets
// there are, where reading the whole table costs milliseconds on a busy machine).
struct Lookup {
  bool answered = false;  // the kernel answered (found or not)
  std::optional<uid_t> owner;
};

Lookup SocketOwnerByLookup(const sockaddr_storage& peer, const sockaddr_storage& server) {
  if (peer.ss_family != server.ss_family) return {};
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST;
  message.request.sdiag_family = static_cast<uint8_t>(peer.ss_family);
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = ~0u;
  inet_diag_sockid& id = message.request.id;
  id.idiag_cookie[0] = id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  size_t addressSize = 4;
  if (peer.ss_family == AF_INET) {
    const auto& from = reinterpret_cast<const sockaddr_in&>(peer);
    const auto& to = reinterpret_cast<const sockaddr_in&>(server);
    id.idiag_sport = from.sin_port;
    id.idiag_dport = to.sin_port;
    std::memcpy(id.idiag_src, &from.sin_addr, 4);
    std::memcpy(id.idiag_dst, &to.sin_addr, 4);
  } else {
    const auto& from = reinterpret_cast<const sockaddr_in6&>(peer);
    const auto& to = reinterpret_cast<const sockaddr_in6&>(server);
    id.idiag_sport = from.sin6_port;
    id.idiag_dport = to.sin6_port;
    std::memcpy(id.idiag_src, &from.sin6_addr, 16);
    std::memcpy(id.idiag_dst, &to.sin6_addr, 16);
    addressSize = 16;
  }
  const int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (fd < 0) return {};
  timeval timeout{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  Lookup result;
  alignas(nlmsghdr) char answer[8192];
  if (send(fd, &message, sizeof message, 0) == static_cast<ssize_t>(sizeof message)) {
    const ssize_t got = recv(fd, answer, sizeof answer, 0);
    const auto* reply = reinterpret_cast<const nlmsghdr*>(answer);
    if (got >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(nlmsgerr))) && reply->nlmsg_type == NLMSG_ERROR) {
      result.answered = true;  // no such socket
    } else if (got >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(inet_diag_msg))) &&
               reply->nlmsg_type == SOCK_DIAG_BY_FAMILY) {
      result.answered = true;
      const auto* entry = static_cast<const inet_diag_msg*>(NLMSG_DATA(reply));
      if (entry->idiag_family == peer.ss_family && SameSocketId(entry->id, id, addressSize) &&
          entry->idiag_inode != 0 && IsLiveState(entry->idiag_state))
        result.owner = entry->idiag_uid;
    }
  }
  close(fd);
  return result;
}

// Each connection's account, taken as it was accepted and kept until it closes.
std::mutex g_identitiesMutex;
std::unordered_map<const pappl_client_t*, std::optional<uid_t>> g_identities;

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
    long uid = -1, timeout = 0;
    unsigned long inode = 0;
    if (!(fields >> slot >> localField >> remoteField >> state >> queues >> timer >> retransmits >> uid >>
          timeout >> inode))
      continue;
    if (localField != local || remoteField != remote) continue;
    // An orphaned or closing entry of the pair is no one's.
    const unsigned long stateCode = std::strtoul(state.c_str(), nullptr, 16);
    if (uid >= 0 && inode != 0 && IsLiveState(static_cast<unsigned>(stateCode)))
      return static_cast<uid_t>(uid);
  }
  return std::nullopt;
}

std::string PeerAddress(pappl_client_t* client) {
  const int fd = ClientFd(client);
  sockaddr_storage peer{};
  socklen_t size = sizeof peer;
  if (fd < 0 || getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) return "unknown";
  if (peer.ss_family == AF_UNIX) return "local";
  peer = Unmapped(peer);
  char text[INET6_ADDRSTRLEN] = "";
  if (peer.ss_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(peer).sin_addr, text, sizeof text);
  else if (peer.ss_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr, text, sizeof text);
  return text[0] ? text : "unknown";
}

bool IsLocalSocket(pappl_client_t* client) {
  sockaddr_storage self{};
  socklen_t size = sizeof self;
  const int fd = ClientFd(client);
  return fd >= 0 && getsockname(fd, reinterpret_cast<sockaddr*>(&self), &size) == 0 &&
         self.ss_family == AF_UNIX;
}

std::optional<uid_t> PeerUid(pappl_client_t* client) {
  {
    std::lock_guard<std::mutex> lock(g_identitiesMutex);
    if (auto found = g_identities.find(client); found != g_identities.end()) return found->second;
  }
  return PeerUidOfSocket(ClientFd(client));
}

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
  // An IPv4 client of an IPv6 socket is listed with IPv4 addresses.
  const bool mapped = peer.ss_family == AF_INET6 && Unmapped(peer).ss_family == AF_INET;
  const Lookup lookup =
      mapped ? SocketOwnerByLookup(Unmapped(peer), Unmapped(self)) : SocketOwnerByLookup(peer, self);
  if (lookup.answered) return lookup.owner;
  // No sock_diag here: the kernel's tables, read whole.
  if (std::optional<uid_t> owner = SocketOwnerIn(
          ReadTable(self.ss_family == AF_INET6 ? "/proc/net/tcp6" : "/proc/net/tcp"), peer, self))
    return owner;
  if (mapped) return SocketOwnerIn(ReadTable("/proc/net/tcp"), Unmapped(peer), Unmapped(self));
  return std::nullopt;
}

// Who is at the other end is asked of the kernel as the connection is accepted, while the
// client's socket is the live end of it, and kept with the connection.
void RememberPeer(pappl_client_t* client) {
  const std::optional<uid_t> uid = PeerUidOfSocket(ClientFd(client));
  std::lock_guard<std::mutex> lock(g_identitiesMutex);
  g_identities[client] = uid;
}

void ForgetPeer(pappl_client_t* client) {
  std::lock_guard<std::mutex> lock(g_identitiesMutex);
  g_identities.erase(client);
}

}  // namespace qxapp
