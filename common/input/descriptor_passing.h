// Open descriptors handed across a Unix socket (SCM_RIGHTS) with a single byte beside them: how
// the printing process gives the kept renderer a document to read and the ends to answer on.
#pragma once

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>

namespace qxvn {

// The most descriptors one message carries.
inline constexpr size_t kMostPassedDescriptors = 4;

// A one-byte message with room for the descriptors, its pointers set up.
struct DescriptorMessage {
  char byte = 0;
  iovec data{&byte, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMostPassedDescriptors)] = {};
  msghdr message{};

  DescriptorMessage() {
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
  }
  DescriptorMessage(const DescriptorMessage&) = delete;
  DescriptorMessage& operator=(const DescriptorMessage&) = delete;
};

// True when `fds` (at most kMostPassedDescriptors) went out whole on `socket`.
inline bool SendDescriptors(int socket, std::span<const int> fds) {
  if (fds.empty() || fds.size() > kMostPassedDescriptors) return false;
  DescriptorMessage out;
  out.byte = 'D';
  out.message.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
  cmsghdr* header = CMSG_FIRSTHDR(&out.message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
  std::memcpy(CMSG_DATA(header), fds.data(), sizeof(int) * fds.size());
  ssize_t sent;
  while ((sent = sendmsg(socket, &out.message, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
  }
  return sent == 1;
}

// Fills `fds` with exactly that many descriptors received on `socket` (close-on-exec); false,
// with none kept open, when other than that many came or the socket ended.
inline bool ReceiveDescriptors(int socket, std::span<int> fds) {
  if (fds.empty() || fds.size() > kMostPassedDescriptors) return false;
  DescriptorMessage in;
  ssize_t n;
  while ((n = recvmsg(socket, &in.message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
  }
  const cmsghdr* header = n == 1 ? CMSG_FIRSTHDR(&in.message) : nullptr;
  if (!header || header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) return false;
  const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
  int received[kMostPassedDescriptors];
  std::memcpy(received, CMSG_DATA(header), sizeof(int) * std::min(count, kMostPassedDescriptors));
  if (count != fds.size() || (in.message.msg_flags & MSG_CTRUNC)) {
    for (size_t i = 0; i < std::min(count, kMostPassedDescriptors); ++i) close(received[i]);
    return false;
  }
  std::memcpy(fds.data(), received, sizeof(int) * count);
  return true;
}

}  // namespace qxvn
