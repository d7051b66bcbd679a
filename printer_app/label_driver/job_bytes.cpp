#include "printer_app/label_driver/job_bytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qxapp {
namespace {

// An unnamed file in $TMPDIR (else /tmp): nothing is left behind, whatever ends the process.
int OpenUnnamedFile(std::string* why) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string folder = tmp && *tmp ? tmp : "/tmp";
  int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string path = folder + "/qxvn-job-XXXXXX";
  fd = mkostemp(path.data(), O_CLOEXEC);
  if (fd >= 0) {
    unlink(path.c_str());
    return fd;
  }
  *why = "cannot keep a copy of the job in " + folder + ": " + std::strerror(errno);
  return -1;
}

}  // namespace

JobBytes::~JobBytes() {
  if (m_fd >= 0) close(m_fd);
}

bool JobBytes::Append(const void* data, size_t size, std::string* why) {
  if (m_fd < 0 && (m_fd = OpenUnnamedFile(why)) < 0) return false;
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t wrote = pwrite(m_fd, bytes + done, size - done, static_cast<off_t>(m_size + done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      *why = std::string("cannot keep a copy of the job: ") + std::strerror(wrote < 0 ? errno : ENOSPC);
      return false;
    }
    done += static_cast<size_t>(wrote);
  }
  m_size += size;
  return true;
}

bool JobBytes::Replay(const std::function<bool(const uint8_t*, size_t)>& chunk, std::string* why) const {
  std::vector<uint8_t> buffer(64 * 1024);
  for (uint64_t at = 0; at < m_size;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), m_size - at));
    const ssize_t got = pread(m_fd, buffer.data(), want, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      *why = std::string("cannot read the copy of the job: ") + std::strerror(got < 0 ? errno : EIO);
      return false;
    }
    if (!chunk(buffer.data(), static_cast<size_t>(got))) return false;
    at += static_cast<uint64_t>(got);
  }
  return true;
}

void JobBytes::Clear() {
  if (m_fd >= 0 && ftruncate(m_fd, 0) != 0) {
    close(m_fd);
    m_fd = -1;
  }
  m_size = 0;
}

}  // namespace qxapp
