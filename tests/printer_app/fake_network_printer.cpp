#include "tests/printer_app/fake_network_printer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace qxtest {
namespace {

constexpr int kSliceMs = 50;
constexpr auto kLongestConnection = std::chrono::seconds(60);

}  // namespace

FakeNetworkPrinter::FakeNetworkPrinter(FirstConnection first, size_t after, bool listening)
    : m_first(first), m_after(after) {
  m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  // A stalled printer's window closes quickly: the sender must notice that nothing moves.
  const int small = 4096;
  if (first == FirstConnection::Stalls) setsockopt(m_listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot bind the fake printer");
  m_port = ntohs(address.sin_port);
  if (listening) Listen();
}

void FakeNetworkPrinter::Listen() {
  if (m_acceptor.joinable()) return;
  // A bound socket that does not listen refuses connections, as a printer that is off does.
  listen(m_listener, 8);
  m_acceptor = std::thread([this] { AcceptLoop(); });
}

FakeNetworkPrinter::~FakeNetworkPrinter() {
  m_stop = true;
  if (m_acceptor.joinable()) m_acceptor.join();
  for (std::thread& server : m_servers) server.join();
  close(m_listener);
}

std::vector<std::string> FakeNetworkPrinter::Printed() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_printed;
}

void FakeNetworkPrinter::AcceptLoop() {
  while (!m_stop) {
    pollfd wait{m_listener, POLLIN, 0};
    if (poll(&wait, 1, kSliceMs) <= 0) continue;
    const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const bool first = m_connections++ == 0;
    m_servers.emplace_back([this, fd, first] { Serve(fd, first); });
  }
}

void FakeNetworkPrinter::Serve(int fd, bool first) {
  const FirstConnection how = first ? m_first : FirstConnection::Takes;
  const auto until = std::chrono::steady_clock::now() + kLongestConnection;
  std::string got;
  bool ended = false;
  char buffer[65536];
  while (!m_stop && std::chrono::steady_clock::now() < until) {
    pollfd wait{fd, static_cast<short>(how == FirstConnection::Stalls ? POLLRDHUP : POLLIN), 0};
    if (poll(&wait, 1, kSliceMs) <= 0) continue;
    if (how == FirstConnection::Stalls) break;  // the sender gave up on it
    // Byte-exact stops: read no further than `after` on a misbehaving connection.
    size_t want = sizeof buffer;
    if (how != FirstConnection::Takes) want = std::min(want, m_after - got.size());
    const ssize_t n = recv(fd, buffer, want, 0);
    if (n <= 0) {
      ended = n == 0;
      break;
    }
    got.append(buffer, static_cast<size_t>(n));
    if (how != FirstConnection::Takes && got.size() >= m_after) break;
  }
  if (how == FirstConnection::Resets) {
    const linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  close(fd);
  if (ended && how == FirstConnection::Takes) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_printed.push_back(std::move(got));
  }
}

}  // namespace qxtest
