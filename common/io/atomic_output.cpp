#include "common/io/atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/tool_error.h"

namespace qxvn {
namespace {

std::string TempPathBeside(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return dir + "." + name + ".XXXXXX";
}

// Temporary files not yet renamed or removed, for a signal that stops the tool to remove.
// Changed only with those signals blocked, so the handler never sees it half changed.
std::vector<char*>& PendingTemps() {
  static std::vector<char*> paths;
  return paths;
}
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void RemovePendingAndStop(int signal) {
  for (char* path : PendingTemps())
    if (path) ::unlink(path);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

class StopSignalsBlocked {
 public:
  StopSignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kStopSignals) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &m_old);
  }
  ~StopSignalsBlocked() { sigprocmask(SIG_SETMASK, &m_old, nullptr); }

 private:
  sigset_t m_old;
};

size_t RegisterTemp(const std::string& path) {
  StopSignalsBlocked blocked;
  static bool installed = false;
  if (!installed) {
    for (int s : kStopSignals) {
      struct sigaction action {};
      action.sa_handler = RemovePendingAndStop;
      sigfillset(&action.sa_mask);
      struct sigaction old {};
      // A signal the caller chose to ignore stays ignored.
      if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
      sigaction(s, &action, nullptr);
    }
    installed = true;
  }
  PendingTemps().push_back(strdup(path.c_str()));
  return PendingTemps().size() - 1;
}

void UnregisterTemp(size_t slot) {
  StopSignalsBlocked blocked;
  std::free(PendingTemps()[slot]);
  PendingTemps()[slot] = nullptr;
  while (!PendingTemps().empty() && !PendingTemps().back()) PendingTemps().pop_back();
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
    struct stat st {};
    if (fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
      const int flags = fcntl(STDOUT_FILENO, F_GETFL);
      m_stdoutStart = flags >= 0 && (flags & O_APPEND) ? st.st_size : lseek(STDOUT_FILENO, 0, SEEK_CUR);
    }
    return;
  }
  if (m_path.empty()) throw ToolError("the output file name is empty");
  // A symbolic link stays a link: its target is what gets replaced.
  std::string target = m_path;
  struct stat st {};
  if (lstat(m_path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* resolved = realpath(m_path.c_str(), nullptr);
    if (!resolved) throw ToolError("cannot write " + m_path + ": the link's target: " + std::strerror(errno));
    target = resolved;
    std::free(resolved);
  }
  // A device, pipe or socket is written through, never replaced by a file.
  if (stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) throw ToolError("cannot write " + m_path + ": " + std::strerror(EISDIR));
    m_fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (m_fd < 0) throw ToolError("cannot write " + m_path + ": " + std::strerror(errno));
    m_direct = true;
    return;
  }
  m_target = target;
  std::string temp = TempPathBeside(target);
  int error = 0;
  {
    // Blocked until the registered copy holds the name mkstemp chose.
    StopSignalsBlocked blocked;
    m_tempSlot = RegisterTemp(temp);
    m_fd = mkstemp(temp.data());
    error = errno;
    if (m_fd >= 0) std::memcpy(PendingTemps()[m_tempSlot], temp.c_str(), temp.size());
  }
  if (m_fd < 0) {
    UnregisterTemp(m_tempSlot);
    throw ToolError("cannot write " + m_path + ": cannot create a file beside it (" + std::strerror(error) +
                    ")");
  }
  m_tempPath = temp;
  fchmod(m_fd, CreationMode());
}

AtomicOutput::~AtomicOutput() { Discard(); }

bool AtomicOutput::Write(const void* data, size_t size) {
  if (!m_failure.empty()) return false;
  auto bytes = static_cast<const unsigned char*>(data);
  const int fd = m_toStdout ? STDOUT_FILENO : m_fd;
  m_wroteStdout = m_wroteStdout || (m_toStdout && size > 0);
  while (size > 0) {
    ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const char* reason = std::strerror(n < 0 ? errno : ENOSPC);
      m_failure = m_toStdout ? std::string("writing to standard output failed: ") + reason
                             : "writing " + m_path + " failed: " + reason;
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
    m_committed = true;
    return;
  }
  Seal();
  if (m_direct) return;
  if (std::rename(m_tempPath.c_str(), m_target.c_str()) != 0) {
    m_failure = "cannot write " + m_path + ": " + std::strerror(errno);
    Discard();
    throw ToolError(m_failure);
  }
  m_tempPath.clear();
  UnregisterTemp(m_tempSlot);
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
  // What a failed output wrote to a file on standard output is taken back; a pipe keeps it.
  if (m_toStdout && m_wroteStdout && !m_committed && m_stdoutStart >= 0) {
    if (ftruncate(STDOUT_FILENO, m_stdoutStart) == 0) lseek(STDOUT_FILENO, m_stdoutStart, SEEK_SET);
    m_wroteStdout = false;
  }
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  if (!m_tempPath.empty()) {
    ::unlink(m_tempPath.c_str());
    UnregisterTemp(m_tempSlot);
  }
  m_tempPath.clear();
}

}  // namespace qxvn
