#include "tools/qxvn/io/atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/tool_error.h"

namespace qxvn {
namespace {

std::string TempPathBeside(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return dir + "." + name + ".XXXXXX";
}

mode_t CreationMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

AtomicOutput::AtomicOutput(std::string path) : m_path(std::move(path)) {
  if (m_path == "-") {
    m_toStdout = true;
    return;
  }
  if (m_path.empty()) throw ToolError("the output file name is empty");
  std::string temp = TempPathBeside(m_path);
  m_fd = mkstemp(temp.data());
  if (m_fd < 0)
    throw ToolError("cannot write " + m_path + ": cannot create a file beside it (" + std::strerror(errno) +
                    ")");
  m_tempPath = temp;
  fchmod(m_fd, CreationMode());
}

AtomicOutput::~AtomicOutput() { Discard(); }

bool AtomicOutput::Write(const void* data, size_t size) {
  if (!m_failure.empty()) return false;
  auto bytes = static_cast<const unsigned char*>(data);
  if (m_toStdout) {
    m_held.insert(m_held.end(), bytes, bytes + size);
    return true;
  }
  while (size > 0) {
    ssize_t n = ::write(m_fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      m_failure = "writing " + m_path + " failed: " + std::strerror(n < 0 ? errno : ENOSPC);
      return false;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void AtomicOutput::Commit() {
  if (!m_failure.empty()) throw ToolError(m_failure);
  if (m_toStdout) {
    size_t done = 0;
    while (done < m_held.size()) {
      ssize_t n = ::write(STDOUT_FILENO, m_held.data() + done, m_held.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw ToolError(std::string("writing to standard output failed: ") + std::strerror(errno));
      done += static_cast<size_t>(n);
    }
    m_held.clear();
    return;
  }
  Seal();
  if (std::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
    m_failure = "cannot write " + m_path + ": " + std::strerror(errno);
    Discard();
    throw ToolError(m_failure);
  }
  m_tempPath.clear();
}

void AtomicOutput::Seal() {
  if (!m_failure.empty()) throw ToolError(m_failure);
  if (m_fd < 0) return;
  int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0) {
    m_failure = "writing " + m_path + " failed: " + std::strerror(errno);
    Discard();
    throw ToolError(m_failure);
  }
}

void AtomicOutput::Discard() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  if (!m_tempPath.empty()) ::unlink(m_tempPath.c_str());
  m_tempPath.clear();
  m_held.clear();
}

}  // namespace qxvn
