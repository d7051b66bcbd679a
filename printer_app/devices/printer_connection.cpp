#include "printer_app/devices/printer_connection.h"

#include <linux/sockios.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qxapp {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

int PollMs(milliseconds left) {
  return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

std::string Seconds(milliseconds span) {
  const long long ms = span.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// A reset reads differently by where it is met (a write, a read, the socket's error).
std::string ErrorText(int error) {
  if (error == ECONNRESET || error == EPIPE || error == ENOTCONN) return "the printer reset the connection";
  return std::strerror(error);
}

int SocketError(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

}  // namespace

bool PrinterConnection::Connect(const std::string& host, int port, milliseconds timeout, std::string* why) {
  Close();
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); status != 0) {
    *why = std::string("cannot find the printer's address (") + gai_strerror(status) + ")";
    return false;
  }
  const Clock::time_point deadline = Clock::now() + timeout;
  *why = "no address to connect to";
  for (addrinfo* address = found; address && m_fd < 0; address = address->ai_next) {
    const int fd =
        socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address->ai_protocol);
    if (fd < 0) {
      *why = std::strerror(errno);
      continue;
    }
    int error = connect(fd, address->ai_addr, address->ai_addrlen) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
      pollfd wait{fd, POLLOUT, 0};
      const int ready =
          poll(&wait, 1, PollMs(std::chrono::duration_cast<milliseconds>(deadline - Clock::now())));
      error = ready > 0 ? SocketError(fd) : ready == 0 ? ETIMEDOUT : errno;
    }
    if (error == 0) {
      m_fd = fd;
      break;
    }
    *why = std::strerror(error);
    close(fd);
  }
  freeaddrinfo(found);
  return m_fd >= 0;
}

bool PrinterConnection::DrainBackChannel(std::string* why, bool* closed) {
  *closed = false;
  char buffer[4096];
  for (;;) {
    const ssize_t got = recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) continue;
    if (got == 0) {
      *closed = true;
      return false;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    *why = ErrorText(errno);
    return false;
  }
}

size_t PrinterConnection::Unacknowledged() const {
  int queued = 0;
  return ioctl(m_fd, SIOCOUTQ, &queued) == 0 && queued > 0 ? static_cast<size_t>(queued) : 0;
}

bool PrinterConnection::Send(const uint8_t* data, size_t size, milliseconds stall, std::string* why) {
  if (m_fd < 0) {
    *why = "not connected";
    return false;
  }
  size_t sent = 0;
  while (sent < size) {
    const ssize_t wrote = send(m_fd, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (wrote > 0) {
      sent += static_cast<size_t>(wrote);
      continue;
    }
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      *why = ErrorText(errno);
      return false;
    }
    pollfd wait{m_fd, POLLOUT | POLLIN, 0};
    const int ready = poll(&wait, 1, PollMs(stall));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      *why = "the printer took no data for " + Seconds(stall);
      return false;
    }
    if (ready < 0 || (wait.revents & POLLERR)) {
      *why = ErrorText(ready < 0 ? errno : SocketError(m_fd));
      return false;
    }
    if (wait.revents & (POLLIN | POLLHUP)) {
      bool closed = false;
      if (!DrainBackChannel(why, &closed)) {
        if (closed) *why = "the printer closed the connection before it took the whole job";
        return false;
      }
    }
  }
  return true;
}

bool PrinterConnection::Finish(milliseconds stall, std::string* why, bool* lingered) {
  *lingered = false;
  if (m_fd < 0) {
    *why = "not connected";
    return false;
  }
  if (shutdown(m_fd, SHUT_WR) != 0) {
    *why = std::strerror(errno);
    Close();
    return false;
  }
  // Progress is the printer acknowledging bytes; the stall time runs from the last of it.
  size_t unacknowledged = Unacknowledged();
  Clock::time_point progress = Clock::now();
  bool closed = false;
  bool ok = false;
  for (;;) {
    if (closed && Unacknowledged() == 0) {
      ok = true;
      break;
    }
    // Once the printer has closed its end, only its acknowledgements are awaited.
    pollfd wait{m_fd, POLLIN, 0};
    const int ready = closed ? (usleep(20000), 0) : poll(&wait, 1, 50);
    if (ready < 0 && errno != EINTR) {
      *why = std::strerror(errno);
      break;
    }
    if (ready > 0 && (wait.revents & POLLERR)) {
      *why = ErrorText(SocketError(m_fd));
      break;
    }
    if (ready > 0 && !closed && (wait.revents & (POLLIN | POLLHUP)) && !DrainBackChannel(why, &closed) &&
        !closed)
      break;
    const size_t now = Unacknowledged();
    if (now < unacknowledged) progress = Clock::now();
    unacknowledged = now;
    if (Clock::now() - progress >= stall) {
      if (unacknowledged == 0) {
        *lingered = true;
        ok = true;
      } else {
        *why = closed ? "the printer closed the connection before it took the whole job"
                      : "the printer took no data for " + Seconds(stall);
      }
      break;
    }
  }
  if (ok) {
    close(m_fd);
    m_fd = -1;
  }
  Close();
  return ok;
}

void PrinterConnection::Close() {
  if (m_fd < 0) return;
  // Reset, not closed: the system must not go on sending a given-up job in the background.
  const linger reset{1, 0};
  setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(m_fd);
  m_fd = -1;
}

}  // namespace qxapp
