// PAPPL 1.3.1 gives every connection a thread that waits 30 seconds for its first request and
// then reads with no time-out at all (a client that stops sending holds its thread for ever),
// and it takes connections from anyone up to its maximum of 10,000, after which nobody, root
// included, gets in. Here each connection's reads time out, and one client holds a bounded number
// of connections (a local account counted as itself, not as the loopback address every local
// account shares; the app's administrators are never refused).
#include <cups/cups.h>
#include <pappl/pappl.h>
#include <poll.h>
#include <sys/socket.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "printer_app/access/access_policy.h"
#include "printer_app/access/peer_identity.h"
#include "printer_app/access/request_bounds.h"
#include "printer_app/access/tls_credentials.h"

namespace qxapp {
namespace {

std::mutex g_limitsLock;
RequestLimits g_limits;

// All clients but administrators together hold at most this many (about 60 MiB of threads and
// buffers), so that PAPPL's own limit, past which nobody gets in, is never reached by them.
constexpr unsigned kMostHeldByAll = 1024;

std::mutex g_lock;
unsigned g_heldByAll = 0;

// Connections by client. Never destroyed: connection threads may still end after main returns.
std::map<std::string, unsigned>& HeldByClient() {
  static auto* held = new std::map<std::string, unsigned>;
  return *held;
}

// Who the client is for counting; empty for one never limited.
std::string ClientKey(pappl_client_t* client) {
  if (const std::optional<uid_t> uid = PeerUid(client)) {
    if (IsAdministrator(*uid, std::nullopt)) return "";
    return "uid " + std::to_string(*uid);
  }
  char address[256] = "";
  httpAddrString(httpGetAddress(papplClientGetHTTP(client)), address, sizeof address);
  return address;
}

class ClientSlot {
 public:
  ClientSlot(std::string key, unsigned most) : m_key(std::move(key)) {
    if (m_key.empty()) return;
    std::lock_guard<std::mutex> hold(g_lock);
    unsigned& held = HeldByClient()[m_key];
    m_held = held < most && g_heldByAll < kMostHeldByAll;
    if (m_held) {
      ++held;
      ++g_heldByAll;
    } else if (held == 0) {
      HeldByClient().erase(m_key);
    }
  }
  ~ClientSlot() {
    if (m_key.empty() || !m_held) return;
    std::lock_guard<std::mutex> hold(g_lock);
    --g_heldByAll;
    if (--HeldByClient()[m_key] == 0) HeldByClient().erase(m_key);
  }
  ClientSlot(const ClientSlot&) = delete;
  ClientSlot& operator=(const ClientSlot&) = delete;
  bool Held() const { return m_key.empty() || m_held; }

 private:
  std::string m_key;
  bool m_held = false;
};

bool DataWithin(int fd, int seconds) {
  pollfd wait{fd, POLLIN, 0};
  return poll(&wait, 1, seconds * 1000) > 0;
}

}  // namespace

void SetRequestLimits(const RequestLimits& limits) {
  std::lock_guard<std::mutex> hold(g_limitsLock);
  g_limits = limits;
}

RequestLimits CurrentRequestLimits() {
  std::lock_guard<std::mutex> hold(g_limitsLock);
  return g_limits;
}

void* ServeClient(pappl_client_t* client, void* (*papplRun)(pappl_client_t*)) {
  const RequestLimits limits = CurrentRequestLimits();
  http_t* http = papplClientGetHTTP(client);
  const int fd = httpGetFd(http);
  httpSetTimeout(http, limits.timeoutSeconds, nullptr, nullptr);
  ServeConnection(http);
  const std::string key = ClientKey(client);
  ClientSlot slot(key, limits.maxConnectionsPerClient);
  if (!slot.Held()) {
    papplLogClient(client, PAPPL_LOGLEVEL_WARN,
                   "Refused: %s holds %u connections already, or all clients %u.", key.c_str(),
                   limits.maxConnectionsPerClient, kMostHeldByAll);
    static const char kBusy[] =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    (void)!send(fd, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL);
    shutdown(fd, SHUT_RDWR);
  } else if (!DataWithin(fd, limits.timeoutSeconds)) {
    papplLogClient(client, PAPPL_LOGLEVEL_INFO, "Closed: no request within %d seconds.",
                   limits.timeoutSeconds);
    shutdown(fd, SHUT_RDWR);
  }
  // The library's loop ends at once on a connection shut down here.
  void* result = papplRun(client);
  ServeConnection(nullptr);
  KeepNewKeysPrivate();
  return result;
}

}  // namespace qxapp
