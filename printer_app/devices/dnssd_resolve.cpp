#include "printer_app/devices/dnssd_resolve.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>
#include <net/if.h>

#include <cctype>

namespace qxapp {
namespace {

struct Lookup {
  bool done = false;
  bool found = false;
  std::string host;
  int port = 0;
};

void OnResolved(AvahiServiceResolver*, AvahiIfIndex interface, AvahiProtocol, AvahiResolverEvent event,
                const char*, const char*, const char*, const char*, const AvahiAddress* address,
                uint16_t port, AvahiStringList*, AvahiLookupResultFlags, void* data) {
  auto* lookup = static_cast<Lookup*>(data);
  lookup->done = true;
  if (event != AVAHI_RESOLVER_FOUND || !address) return;
  char text[AVAHI_ADDRESS_STR_MAX];
  avahi_address_snprint(text, sizeof text, address);
  lookup->host = text;
  // A link-local IPv6 address is only reachable through its interface.
  char name[IF_NAMESIZE];
  if (address->proto == AVAHI_PROTO_INET6 && lookup->host.rfind("fe80:", 0) == 0 && interface >= 0 &&
      if_indextoname(static_cast<unsigned>(interface), name))
    lookup->host += std::string("%") + name;
  lookup->port = port;
  lookup->found = true;
}

// "Label\032Printer" as DNS-SD escapes a name: "\DDD" a byte in decimal, "\c" the character c.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
    } else if (i + 3 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1])) &&
               std::isdigit(static_cast<unsigned char>(text[i + 2])) &&
               std::isdigit(static_cast<unsigned char>(text[i + 3]))) {
      out += static_cast<char>((text[i + 1] - '0') * 100 + (text[i + 2] - '0') * 10 + (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[++i];
    }
  }
  return out;
}

}  // namespace

bool ResolveDnssdService(const std::string& fullName, std::chrono::milliseconds timeout, std::string* host,
                         int* port, std::string* why) {
  // NAME._TYPE._tcp.DOMAIN: the type is the two labels before the domain.
  const size_t tcp = fullName.find("._tcp.");
  const size_t type = tcp == std::string::npos ? tcp : fullName.rfind("._", tcp - 1);
  if (type == std::string::npos || type == 0) {
    *why = "'" + fullName + "' is not a DNS-SD service name";
    return false;
  }
  const std::string name = Unescape(fullName.substr(0, type));
  const std::string serviceType = fullName.substr(type + 1, tcp + 5 - type - 1);
  std::string domain = fullName.substr(tcp + 6);
  if (!domain.empty() && domain.back() == '.') domain.pop_back();

  AvahiSimplePoll* poll = avahi_simple_poll_new();
  int error = 0;
  AvahiClient* client =
      poll ? avahi_client_new(avahi_simple_poll_get(poll), AvahiClientFlags(0), nullptr, nullptr, &error)
           : nullptr;
  Lookup lookup;
  AvahiServiceResolver* resolver =
      client ? avahi_service_resolver_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, name.c_str(),
                                          serviceType.c_str(), domain.c_str(), AVAHI_PROTO_UNSPEC,
                                          AvahiLookupFlags(0), OnResolved, &lookup)
             : nullptr;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (resolver && !lookup.done && std::chrono::steady_clock::now() < deadline)
    if (avahi_simple_poll_iterate(poll, 100) < 0) break;
  if (!client)
    *why = std::string("cannot reach the Avahi daemon (") + avahi_strerror(error) + ")";
  else if (!lookup.found)
    *why = "cannot find the printer '" + name + "' on the network";
  if (resolver) avahi_service_resolver_free(resolver);
  if (client) avahi_client_free(client);
  if (poll) avahi_simple_poll_free(poll);
  if (!lookup.found) return false;
  *host = lookup.host;
  *port = lookup.port;
  return true;
}

}  // namespace qxapp
