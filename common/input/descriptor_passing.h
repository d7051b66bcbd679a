// One open descriptor handed across a Unix socket (SCM_RIGHTS) with a single byte beside it:
// how the printing process gives a spare renderer the document it is to read.
#pragma once

#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>

namespace qxvn {

// A one-byte message with room for one descriptor, its pointers set up.
struct DescriptorMessage {
  char byte = 0;
  iovec data{&byte, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
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

// True when `fd` went out whole on `socket`.
inline bool SendDescriptor(int socket, int fd) {
  DescriptorMessage out;
  out.byte = 'D';
  cmsghdr* header = CMSG_FIRSTHDR(&out.message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
  ssize_t sent;
  while ((sent = sendmsg(socket, &out.message, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
  }
  return sent == 1;
}

// The descriptor received on `socket` (close-on-exec), or -1 when none came or the socket ended.
inline int ReceiveDescriptor(int socket) {
  DescriptorMessage in;
  ssize_t n;
  while ((n = recvmsg(socket, &in.message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
  }
  const cmsghdr* header = n == 1 ? CMSG_FIRSTHDR(&in.message) : nullptr;
  if (!header || header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS ||
      header->cmsg_len != CMSG_LEN(sizeof(int)))
    return -1;
  int fd;
  std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
  return fd;
}

}  // namespace qxvn
