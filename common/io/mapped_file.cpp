#include "common/io/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/tool_error.h"

namespace qxvn {
namespace {

[[noreturn]] void Fail(const std::string& path, int error) {
  throw ToolError("cannot read " + MappedFile::DisplayName(path) + ": " + std::strerror(error));
}

}  // namespace

MappedFile::MappedFile(const std::string& path, bool populate, size_t maxReadBytes) : m_path(path) {
  const bool standardInput = path == "-";
  int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail(path, errno);
  // Standard input stays open for whoever reads it next.
  auto closeFd = [&] {
    if (!standardInput) ::close(fd);
  };
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    int error = errno;
    closeFd();
    Fail(path, error);
  }
  if (S_ISDIR(st.st_mode)) {
    closeFd();
    Fail(path, EISDIR);
  }
  if (S_ISREG(st.st_mode) && st.st_size > 0) {
    void* map = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ,
                     MAP_PRIVATE | (populate ? MAP_POPULATE : 0), fd, 0);
    if (map != MAP_FAILED) {
      closeFd();
      m_mapping = map;
      m_data = static_cast<const uint8_t*>(map);
      m_size = static_cast<size_t>(st.st_size);
      return;
    }
  }
  uint8_t chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      closeFd();
      Fail(path, error);
    }
    if (n == 0) break;
    if (static_cast<size_t>(n) > maxReadBytes - m_read.size()) {
      closeFd();
      throw ToolError(DisplayName(path) + ": more than " + std::to_string(maxReadBytes) +
                      " bytes, the most read from a pipe or device");
    }
    m_read.insert(m_read.end(), chunk, chunk + n);
  }
  closeFd();
  m_data = m_read.data();
  m_size = m_read.size();
}

void MappedFile::Populate() const {
  // Only a hint: where the system cannot, the pages come in as they are touched.
  if (m_mapping) madvise(m_mapping, m_size, MADV_POPULATE_READ);
}

MappedFile::~MappedFile() {
  if (m_mapping) munmap(m_mapping, m_size);
}

}  // namespace qxvn
