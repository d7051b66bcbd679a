// An output file that appears whole or not at all: bytes go to a temporary file beside the
// target, renamed over it by Commit. Without Commit the temporary is removed and an existing
// target stays as it was. A device, pipe or socket is written through instead, and a symbolic
// link's target is replaced, not the link. "-" means standard output, written through as well,
// so that a long stream is never held in memory; when it is a file, an output that is not
// committed is cut off again where it began. A signal that stops the tool removes the temporary
// files still waiting.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace qxvn {

class AtomicOutput {
 public:
  explicit AtomicOutput(std::string path);  // throws ToolError when the temporary cannot be made
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;
  ~AtomicOutput();

  // False on failure; FailureText() then says why. Later writes fail too.
  bool Write(const void* data, size_t size);
  // Closes the temporary file, so that many outputs can wait for Commit without holding a
  // descriptor each. Throws ToolError like Commit.
  void Seal();
  // Throws ToolError naming the cause of the first failed write or of the rename.
  void Commit();

  const std::string& Path() const { return m_path; }
  const std::string& FailureText() const { return m_failure; }

 private:
  void Discard();

  std::string m_path;
  std::string m_target;  // the file renamed over: m_path, or the target of the link it is
  std::string m_tempPath;
  size_t m_tempSlot = 0;
  bool m_direct = false;
  int m_fd = -1;
  bool m_toStdout = false;
  off_t m_stdoutStart = -1;  // where this output began in standard output, when that is a file
  bool m_wroteStdout = false;
  bool m_committed = false;
  std::string m_failure;
};

}  // namespace qxvn
