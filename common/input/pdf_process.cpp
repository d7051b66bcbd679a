#include "common/input/pdf_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/input/pdf_reply.h"
#include "common/tool_error.h"

extern char** environ;

namespace qxvn {
namespace {

using Clock = std::chrono::steady_clock;

std::string Budget(const PageLimits& limits) {
  return std::to_string(limits.maxMemoryBytes >> 20) + " MiB and " + std::to_string(limits.maxSeconds) +
         " s a document";
}

// The renderer's end of the pipe: everything it sends, read before a deadline.
class ReplyPipe {
 public:
  ReplyPipe(int fd, Clock::time_point deadline) : m_fd(fd), m_deadline(deadline) {}

  // False when the renderer closed its end first, or the deadline passed (TimedOut() says so).
  bool Read(void* out, size_t size) {
    auto* p = static_cast<uint8_t*>(out);
    while (size > 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
      if (left <= 0) return !(m_timedOut = true);
      pollfd fd{m_fd, POLLIN, 0};
      int ready = poll(&fd, 1, static_cast<int>(std::min<long long>(left, 1000)));
      if (ready < 0 && errno != EINTR) return false;
      if (ready <= 0) continue;
      ssize_t n = read(m_fd, p, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  bool AtEnd() {
    uint8_t extra;
    return !Read(&extra, 1) && !m_timedOut;
  }

  bool TimedOut() const { return m_timedOut; }

 private:
  int m_fd;
  Clock::time_point m_deadline;
  bool m_timedOut = false;
};

// The child, reaped whatever happens; a child still running is killed first.
class Child {
 public:
  explicit Child(pid_t pid) : m_pid(pid) {}
  ~Child() {
    if (m_pid > 0) Wait(true);
  }
  int Wait(bool kill) {
    if (kill) ::kill(m_pid, SIGKILL);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = 0;
    return status;
  }

 private:
  pid_t m_pid;
};

[[noreturn]] void FailedRenderer(int status, const PageLimits& limits) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == kPdfRendererOutOfMemory)
    throw ToolError("reading the PDF document needs more memory than the budget of " + Budget(limits));
  if (WIFSIGNALED(status) && (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL))
    throw ToolError("reading the PDF document takes more processor time than the budget of " +
                    Budget(limits));
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) throw ToolError("the PDF renderer's answer ends early");
  // The PDF library aborts when an allocation fails.
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT)
    throw ToolError("reading the PDF document stopped, most likely over the memory budget of " +
                    Budget(limits));
  throw ToolError("the PDF renderer failed (" +
                  (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                       : "exit status " + std::to_string(WEXITSTATUS(status))) +
                  ") within the budget of " + Budget(limits));
}

// `fd` moved to a descriptor above 2 (close-on-exec), or -1.
int AboveStandardDescriptors(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  close(fd);
  return moved;
}

// Ours, and under AddressSanitizer its allocator's limits in place of the address space's.
std::vector<std::string> RendererEnvironment(const PageLimits& limits) {
  std::vector<std::string> environment;
  std::string sanitizer;
  for (char** variable = environ; *variable; ++variable) {
    if (std::strncmp(*variable, "ASAN_OPTIONS=", 13) == 0)
      sanitizer = *variable + 13;
    else
      environment.emplace_back(*variable);
  }
  if (kAddressSanitizer) {
    const std::string megabytes = std::to_string(std::max<uint64_t>(limits.maxMemoryBytes >> 20, 1));
    sanitizer += std::string(sanitizer.empty() ? "" : ":") + "hard_rss_limit_mb=" + megabytes +
                 ":max_allocation_size_mb=" + megabytes + ":allocator_may_return_null=1" +
                 // What the PDF library and its font cache keep until exit is theirs to free.
                 ":detect_leaks=0";
  }
  if (!sanitizer.empty()) environment.push_back("ASAN_OPTIONS=" + sanitizer);
  return environment;
}

// Shortest text that reads back as the same number: the renderer draws at exactly the resolution
// the layout chose.
std::string ResolutionText(double dpi) {
  char text[64];
  auto [end, error] = std::to_chars(text, text + sizeof text, dpi);
  return error == std::errc() ? std::string(text, end) : std::string("0");
}

// PDF user space is at most 14,400 units a side, each up to 75,000 points with a user unit.
constexpr double kMaxPagePoints = 14400.0 * 75000.0;

}  // namespace

std::string PdfRendererPath() {
  const char* path = std::getenv("QXVN_PDF_RENDERER");
  if (path && *path) return path;
  // An installed program's renderer is in the private library folder beside its bin folder.
  char self[4096];
  const ssize_t size = readlink("/proc/self/exe", self, sizeof self - 1);
  if (size > 0) {
    const std::string program(self, static_cast<size_t>(size));
    const std::string installed =
        program.substr(0, program.rfind('/') + 1) + QX_INSTALLED_PDF_RENDERER_FROM_BIN;
    if (access(installed.c_str(), X_OK) == 0) return installed;
  }
  return QX_PDF_RENDERER_PATH;
}

PdfAnswer RunPdfRenderer(int document, double dpiX, double dpiY, const PageLimits& limits,
                         std::optional<PdfPageRequest> request) {
  const std::string program = PdfRendererPath();
  std::vector<std::string> args = {program,
                                   ResolutionText(dpiX),
                                   ResolutionText(dpiY),
                                   std::to_string(limits.maxPixels),
                                   std::to_string(limits.maxMemoryBytes),
                                   std::to_string(limits.maxSeconds)};
  if (request) {
    args.push_back(std::to_string(request->index));
    args.push_back(std::to_string(request->bytesPerPixel));
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = RendererEnvironment(limits);
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);

  // A process started with its standard descriptors closed gets them back from pipe2 and open;
  // moved above them, no descriptor can overwrite another as they become the renderer's.
  int out[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) == 0)
    for (int& fd : out) fd = AboveStandardDescriptors(fd);
  const int input = fcntl(document, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (out[0] < 0 || out[1] < 0 || input < 0) {
    const std::string reason = std::strerror(errno);
    for (int fd : {out[0], out[1], input})
      if (fd >= 0) close(fd);
    throw ToolError("cannot start the PDF renderer: " + reason);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(input);
  if (spawned != 0) {
    close(out[0]);
    throw ToolError("cannot start the PDF renderer " + program + ": " + std::strerror(spawned));
  }
  Child child(pid);
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{out[0]};

  // The wall-clock limit is the processor time's with room for a busy machine.
  ReplyPipe pipe(out[0], Clock::now() + std::chrono::seconds(limits.maxSeconds) * 2);
  auto fail = [&]() -> void {
    const bool timedOut = pipe.TimedOut();
    const int status = child.Wait(timedOut);
    if (timedOut)
      throw ToolError("reading the PDF document takes longer than the budget of " + Budget(limits));
    FailedRenderer(status, limits);
  };
  PdfReply reply;
  if (!pipe.Read(&reply, sizeof reply)) fail();
  if (reply.magic != PdfReply::kMagic || reply.messageBytes > 65536)
    throw ToolError("the PDF renderer " + program + " answered something else than a page");
  std::string message(reply.messageBytes, '\0');
  if (!pipe.Read(message.data(), message.size())) fail();
  if (reply.refused) {
    child.Wait(false);
    throw ToolError(message.empty() ? "the PDF renderer refused the document" : message);
  }

  PdfAnswer answer;
  answer.pages = reply.pages;
  if (request && request->bytesPerPixel == 0) {
    if (!(reply.pointWidth > 0 && reply.pointHeight > 0 && reply.pointWidth <= kMaxPagePoints &&
          reply.pointHeight <= kMaxPagePoints))
      throw ToolError("the PDF renderer answered a malformed page size");
    answer.size = {reply.pointWidth, reply.pointHeight};
  } else if (request) {
    // What arrives is checked against what was asked before anything is allocated for it.
    if (reply.bytesPerPixel != request->bytesPerPixel || reply.width == 0 || reply.height == 0 ||
        reply.stride != StrideOf(reply.width, reply.bytesPerPixel))
      throw ToolError("the PDF renderer answered a malformed page");
    CheckPageSize(reply.width, reply.height, limits, "page " + std::to_string(request->index + 1));
    answer.page = AllocatePage(reply.width, reply.height, reply.bytesPerPixel,
                               "page " + std::to_string(request->index + 1));
    if (!pipe.Read(answer.page.pixels, answer.page.SizeBytes())) fail();
  }
  if (!pipe.AtEnd()) {
    if (pipe.TimedOut()) fail();
    throw ToolError("the PDF renderer answered more than a page");
  }
  const int status = child.Wait(false);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) FailedRenderer(status, limits);
  return answer;
}

}  // namespace qxvn
