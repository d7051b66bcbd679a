#include "printer_app/cli/address_listeners.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qxapp {
namespace {

struct ServedAddress {
  const char* listener;  // as PAPPL takes it
  int family;
  const char* ip;
};

constexpr ServedAddress kLocalhost[] = {{"127.0.0.1", AF_INET, "127.0.0.1"}, {"[::1]", AF_INET6, "::1"}};
constexpr ServedAddress kNetwork[] = {{"0.0.0.0", AF_INET, "0.0.0.0"}, {"[::]", AF_INET6, "::"}};

// Why a socket cannot be bound to the address (0 when it can now), to name in the refusal.
int BindError(const ServedAddress& address, int port) {
  const int fd = socket(address.family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_storage storage{};
  socklen_t size = 0;
  if (address.family == AF_INET) {
    auto& in = reinterpret_cast<sockaddr_in&>(storage);
    in.sin_family = AF_INET;
    in.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.ip, &in.sin_addr);
    size = sizeof in;
  } else {
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET6, address.ip, &in6.sin6_addr);
    size = sizeof in6;
  }
  const int error = bind(fd, reinterpret_cast<sockaddr*>(&storage), size) == 0 ? 0 : errno;
  close(fd);
  return error;
}

}  // namespace

std::string ListenOnEveryAddress(pappl_system_t* system, bool network, int port) {
  for (const ServedAddress& address : network ? kNetwork : kLocalhost) {
    if (papplSystemAddListeners(system, address.listener)) continue;
    const int error = BindError(address, port);
    const std::string shown = std::string(address.listener) + ":" + std::to_string(port);
    if (address.family == AF_INET6 && (error == EADDRNOTAVAIL || error == EAFNOSUPPORT)) {
      papplLog(system, PAPPL_LOGLEVEL_WARN, "This machine has no IPv6 address %s: serving IPv4 only.",
               address.ip);
      continue;
    }
    return "cannot listen on " + shown + (error ? std::string(": ") + std::strerror(error) : std::string());
  }
  return "";
}

}  // namespace qxapp
