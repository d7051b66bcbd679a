// A network label printer for the tests: a listener on 127.0.0.1 and a free port taking raw
// jobs, one connection a job, that can misbehave on its first connection as a real printer
// does when it is switched off, jammed or restarted. Each connection is served by a thread of
// its own with bounded waits; all of them end with the object.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qxtest {

enum class FirstConnection {
  Takes,   // like every other: reads to the end, then closes
  Resets,  // reads `after` bytes, then resets the connection
  Closes,  // reads `after` bytes, then closes its end
  Stalls,  // takes the connection and reads nothing, with a small receive buffer
};

class FakeNetworkPrinter {
 public:
  // `listening` false: connections are refused until Listen().
  FakeNetworkPrinter(FirstConnection first, size_t after, bool listening);
  ~FakeNetworkPrinter();
  FakeNetworkPrinter(const FakeNetworkPrinter&) = delete;
  FakeNetworkPrinter& operator=(const FakeNetworkPrinter&) = delete;

  int Port() const { return m_port; }
  void Listen();
  // What connections that the sender ended in order (its end shut down, every byte read)
  // brought: the jobs this printer printed.
  std::vector<std::string> Printed();
  int Connections() const { return m_connections; }

 private:
  void AcceptLoop();
  void Serve(int fd, bool first);

  FirstConnection m_first;
  size_t m_after;
  int m_listener = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_connections{0};
  std::mutex m_lock;
  std::vector<std::string> m_printed;
  std::thread m_acceptor;
  std::vector<std::thread> m_servers;
};

}  // namespace qxtest
