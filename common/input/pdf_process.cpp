#include "common/input/pdf_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "common/input/descriptor_passing.h"
#include "common/input/pdf_pixels.h"
#include "common/tool_error.h"

extern char** environ;

namespace qxvn {
namespace {

using Clock = std::chrono::steady_clock;

std::string Budget(const PageLimits& limits) {
  return std::to_string(limits.maxMemoryBytes >> 20) + " MiB and " + std::to_string(limits.maxSeconds) +
         " s a document";
}

std::string FailureOf(int status, const PageLimits& limits) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == kPdfRendererOutOfMemory)
    return "reading the PDF document needs more memory than the budget of " + Budget(limits);
  if (WIFSIGNALED(status) && (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL))
    return "reading the PDF document takes more processor time than the budget of " + Budget(limits);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "the PDF renderer's answer ends early";
  // The PDF library aborts when an allocation fails.
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT)
    return "reading the PDF document stopped, most likely over the memory budget of " + Budget(limits);
  return "the PDF renderer failed (" +
         (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                              : "exit status " + std::to_string(WEXITSTATUS(status))) +
         ") within the budget of " + Budget(limits);
}

// `fd` moved to a descriptor above the renderer's own (0 to 3, close-on-exec), or -1.
int AboveRendererDescriptors(int fd) {
  if (fd < 0 || fd > kPdfRequestDescriptor) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, kPdfRequestDescriptor + 1);
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

// PDF user space is at most 14,400 units a side, each up to 75,000 points with a user unit.
constexpr double kMaxPagePoints = 14400.0 * 75000.0;

// A gray or black-and-white page fits whole in a pipe this large, so the renderer can go on
// to the page asked ahead while this one waits to be read.
constexpr int kReplyPipeBytes = 1 << 20;

// A 1-byte gray page in the band layout of `bytesPerPixel` (3 or 4) bytes a pixel.
PageImage GrayToBands(const PageImage& gray, uint32_t bytesPerPixel, const std::string& source) {
  PageImage out = AllocatePage(gray.width, gray.height, bytesPerPixel, source);
  out.dpiX = gray.dpiX;
  out.dpiY = gray.dpiY;
  for (uint32_t y = 0; y < gray.height; ++y) {
    const uint8_t* in = gray.Row(y);
    uint8_t* to = out.Row(y);
    for (uint32_t x = 0; x < gray.width;) {
      // Runs of white paper a word at a time.
      uint64_t eight;
      if (x + 8 <= gray.width && (std::memcpy(&eight, in + x, 8), eight == ~uint64_t{0})) {
        static constexpr uint8_t kWhite[32] = {
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        if (bytesPerPixel == 3)
          std::memcpy(to, kWhite, 24);
        else
          std::memcpy(to, kWhite, 32);
        to += size_t{8} * bytesPerPixel;
        x += 8;
        continue;
      }
      to[0] = to[1] = to[2] = in[x++];
      if (bytesPerPixel == 4) to[3] = 0xFF;
      to += bytesPerPixel;
    }
  }
  return out;
}

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

namespace {

struct Process {
  pid_t pid = 0;
  int requests = -1;
  int replies = -1;
};

void Stop(Process& process) {
  if (process.pid > 0) {
    kill(process.pid, SIGKILL);
    while (waitpid(process.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  for (int fd : {process.requests, process.replies})
    if (fd >= 0) close(fd);
  process = Process{};
}

// A renderer's two ends, each pair [ours, its]. A process started with its standard descriptors
// closed gets them back from pipe2 and open; moved above the renderer's, no descriptor can
// overwrite another as they become its own. Requests go through a socket, whose writes fail
// rather than raise SIGPIPE once the renderer is gone.
struct Channels {
  int answers[2] = {-1, -1};
  int requests[2] = {-1, -1};

  void Close() {
    for (int* fd : {&answers[0], &answers[1], &requests[0], &requests[1]})
      if (*fd >= 0) close(std::exchange(*fd, -1));
  }
};

Channels OpenChannels() {
  Channels channels;
  if (pipe2(channels.answers, O_CLOEXEC) == 0)
    for (int& fd : channels.answers) fd = AboveRendererDescriptors(fd);
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channels.requests) == 0)
    for (int& fd : channels.requests) fd = AboveRendererDescriptors(fd);
  if (channels.answers[0] < 0 || channels.answers[1] < 0 || channels.requests[0] < 0 ||
      channels.requests[1] < 0) {
    const std::string reason = std::strerror(errno);
    channels.Close();
    throw ToolError("cannot start the PDF renderer: " + reason);
  }
  fcntl(channels.answers[0], F_SETPIPE_SZ, kReplyPipeBytes);  // a smaller pipe only costs time
  return channels;
}

// Starts `program` on `document`, or with `document` -1 as a spare: one that gets ready to draw
// and then forks a renderer for each document it is handed.
Process Spawn(const std::string& program, const PageLimits& limits, int document) {
  std::vector<std::string> args = {program, std::to_string(limits.maxPixels),
                                   std::to_string(limits.maxMemoryBytes), std::to_string(limits.maxSeconds)};
  if (document < 0) args.emplace_back("spare");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = RendererEnvironment(limits);
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);

  Channels channels = OpenChannels();
  int* out = channels.answers;
  int* requests = channels.requests;
  const int input = document < 0 ? -2 : fcntl(document, F_DUPFD_CLOEXEC, kPdfRequestDescriptor + 1);
  auto closeAll = [&] {
    channels.Close();
    if (input >= 0) close(input);
  };
  if (input == -1) {
    const std::string reason = std::strerror(errno);
    closeAll();
    throw ToolError("cannot start the PDF renderer: " + reason);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input >= 0)
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  else
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, requests[1], kPdfRequestDescriptor);
  // Nothing else, even what another thread opened without close-on-exec: a spare lives on, and a
  // client's connection it held would never close.
  posix_spawn_file_actions_addclosefrom_np(&actions, kPdfRequestDescriptor + 1);
  Process process;
  const int spawned = posix_spawn(&process.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  process.replies = std::exchange(out[0], -1);
  process.requests = std::exchange(requests[0], -1);
  closeAll();
  if (spawned != 0) {
    process.pid = 0;
    Stop(process);
    throw ToolError("cannot start the PDF renderer " + program + ": " + std::strerror(spawned));
  }
  return process;
}

// The spare renderer kept ready for the next document, for a program that prints one document
// after another (see KeepSpare).
struct Spare {
  std::mutex lock;
  bool wanted = false;
  PageLimits limits;
  std::string program;
  Process process;
  std::set<pid_t> inUse;  // the renderers PdfRenderers wait for
} g_spare;

// The renderer `pid` has been waited for.
void Forget(pid_t pid) {
  std::lock_guard<std::mutex> hold(g_spare.lock);
  g_spare.inUse.erase(pid);
}

// Ends and waits for this process's renderers that no PdfRenderer waits for: the one a stopped
// spare had forked ahead for its next document, which would otherwise stay a zombie. Told by their
// name (a zombie has no arguments left); under g_spare.lock, once the spare is stopped.
void EndStrays() {
  std::vector<pid_t> children;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* task = readdir(tasks)) {
      std::ifstream list(std::string("/proc/self/task/") + task->d_name + "/children");
      for (pid_t child; list >> child;) children.push_back(child);
    }
    closedir(tasks);
  }
  for (pid_t child : children) {
    if (g_spare.inUse.count(child)) continue;
    std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
    const std::string fields((std::istreambuf_iterator<char>(stat)), {});
    if (fields.find(" (qxvn-pdf-render) ") == std::string::npos) continue;
    kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

bool SameLimits(const PageLimits& a, const PageLimits& b) {
  return a.maxPixels == b.maxPixels && a.maxMemoryBytes == b.maxMemoryBytes && a.maxSeconds == b.maxSeconds;
}

// Under g_spare.lock.
void StartSpare() {
  if (!g_spare.wanted || g_spare.process.pid > 0) return;
  try {
    g_spare.process = Spawn(g_spare.program, g_spare.limits, -1);
  } catch (const ToolError&) {
    // No spare: the next document starts its own renderer, and says why should that fail too.
  }
}

// A renderer for `document` forked from the spare, when there is one for `limits`. A spare that
// does not answer within a few seconds is stopped (another is started once this document is
// done), and the document starts a renderer of its own.
std::optional<Process> TakeSpare(const std::string& program, const PageLimits& limits, int document) {
  std::lock_guard<std::mutex> hold(g_spare.lock);
  if (!g_spare.wanted || g_spare.process.pid <= 0 || program != g_spare.program ||
      !SameLimits(limits, g_spare.limits))
    return std::nullopt;
  Channels channels;
  try {
    channels = OpenChannels();
  } catch (const ToolError&) {
    return std::nullopt;
  }
  const int passed[3] = {document, channels.requests[1], channels.answers[1]};
  const int control = g_spare.process.requests;
  const bool sent = SendDescriptors(control, passed);
  close(std::exchange(channels.requests[1], -1));
  close(std::exchange(channels.answers[1], -1));
  int32_t id = 0;
  pollfd ready{control, POLLIN, 0};
  const bool answered =
      sent && poll(&ready, 1, 5000) == 1 && recv(control, &id, sizeof id, MSG_WAITALL) == sizeof id;
  // The renderer must be a child of ours by now, to be stopped and waited for as one.
  siginfo_t info{};
  if (!answered || id <= 0 || waitid(P_PID, static_cast<id_t>(id), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    channels.Close();
    Stop(g_spare.process);
    EndStrays();
    return std::nullopt;
  }
  g_spare.inUse.insert(id);
  Process forked;
  forked.pid = id;
  forked.requests = std::exchange(channels.requests[0], -1);
  forked.replies = std::exchange(channels.answers[0], -1);
  return forked;
}

}  // namespace

void PdfRenderer::KeepSpare(const PageLimits& limits) {
  std::lock_guard<std::mutex> hold(g_spare.lock);
  // The spare's renderers are forked by a child of its own that ends at once: they are ours to
  // wait for only when this process takes in the orphans of its children.
  if (!g_spare.wanted && prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) return;
  g_spare.wanted = true;
  g_spare.limits = limits;
  g_spare.program = PdfRendererPath();
  StartSpare();
}

PdfRenderer::PdfRenderer(int document, const PageLimits& limits)
    : m_limits(limits), m_program(PdfRendererPath()) {
  std::optional<Process> process = TakeSpare(m_program, limits, document);
  if (!process) {
    std::lock_guard<std::mutex> hold(g_spare.lock);
    process = Spawn(m_program, limits, document);
    g_spare.inUse.insert(process->pid);
  }
  m_pid = process->pid;
  m_replies = process->replies;
  m_requests = process->requests;
  // The opening answer: the page count, or why the document is refused.
  try {
    m_pages = Receive(PdfRequest{}).header.pages;
    if (m_pages == 0) Failed("the PDF document has no pages");
  } catch (...) {
    close(m_replies);
    close(m_requests);
    throw;
  }
}

PdfRenderer::~PdfRenderer() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  close(m_replies);
  close(m_requests);
  std::lock_guard<std::mutex> hold(g_spare.lock);
  g_spare.inUse.erase(m_pid);
  StartSpare();
}

bool PdfRenderer::Read(void* out, size_t size, Clock::time_point deadline) {
  auto* p = static_cast<uint8_t*>(out);
  while (size > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return !(m_timedOut = true);
    pollfd fd{m_replies, POLLIN, 0};
    const int ready = poll(&fd, 1, static_cast<int>(std::min<long long>(left, 1000)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    const ssize_t n = read(m_replies, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void PdfRenderer::Failed(const std::string& reason) {
  m_failure = reason;
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    Forget(std::exchange(m_pid, 0));
  }
  throw ToolError(reason);
}

void PdfRenderer::Fail() {
  if (m_timedOut) Failed("reading the PDF document takes longer than the budget of " + Budget(m_limits));
  // The renderer closed its end: it has ended or is about to; one that lingers is stopped.
  int status = 0;
  pid_t reaped = 0;
  for (int tries = 0; tries < 200 && reaped == 0; ++tries) {
    reaped = waitpid(m_pid, &status, WNOHANG);
    if (reaped < 0 && errno == EINTR) reaped = 0;
    if (reaped == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (reaped == m_pid) {
    Forget(std::exchange(m_pid, 0));
    Failed(FailureOf(status, m_limits));
  }
  Failed("the PDF renderer stopped answering");
}

void PdfRenderer::Send(const PdfRequest& request) {
  if (!m_failure.empty()) throw ToolError(m_failure);
  const auto* p = reinterpret_cast<const uint8_t*>(&request);
  size_t size = sizeof request;
  while (size > 0) {
    const ssize_t n = send(m_requests, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail();
    p += n;
    size -= static_cast<size_t>(n);
  }
}

PdfRenderer::Reply PdfRenderer::Receive(const PdfRequest& request) {
  if (!m_failure.empty()) throw ToolError(m_failure);
  // The wall-clock limit is the processor time's with room for a busy machine, counted from
  // when the answer is awaited: a page asked ahead waits for its reader, not for its renderer.
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(m_limits.maxSeconds) * 2;
  Reply reply;
  PdfReply& header = reply.header;
  if (!Read(&header, sizeof header, deadline)) Fail();
  const bool opening = m_pages == 0;
  if (header.magic != PdfReply::kMagic || header.messageBytes > 65536 ||
      (!opening && (header.pages != m_pages || header.index != request.index)))
    Failed("the PDF renderer " + m_program + " answered something else than a page");
  std::string message(header.messageBytes, '\0');
  if (!Read(message.data(), message.size(), deadline)) Fail();
  if (header.refused) {
    if (opening) Failed(message.empty() ? "the PDF renderer refused the document" : message);
    throw ToolError(message.empty() ? "the PDF renderer refused the page" : message);
  }
  if (opening) return reply;
  if (!(header.pointWidth > 0 && header.pointHeight > 0 && header.pointWidth <= kMaxPagePoints &&
        header.pointHeight <= kMaxPagePoints))
    Failed("the PDF renderer answered a malformed page size");
  if (header.width == 0 && header.payloadBytes == 0) return reply;  // its size only
  // What arrives is checked against what was asked before anything is allocated for it.
  const std::string where = "page " + std::to_string(request.index + 1);
  if (request.bytesPerPixel == 0 || header.bytesPerPixel != request.bytesPerPixel || header.width == 0 ||
      header.height == 0 || header.stride != StrideOf(header.width, header.bytesPerPixel) ||
      header.encoding > PdfPixels::kBits ||
      header.payloadBytes != EncodedBytes(header.encoding, header.width, header.height, header.bytesPerPixel))
    Failed("the PDF renderer answered a malformed page");
  CheckPageSize(header.width, header.height, m_limits, where);
  const bool asAsked = header.encoding == PdfPixels::kAsAsked;
  reply.page = AllocatePage(header.width, header.height, asAsked ? header.bytesPerPixel : 1, where);
  if (header.encoding == PdfPixels::kBits) {
    std::vector<uint8_t> bits(header.payloadBytes);
    if (!Read(bits.data(), bits.size(), deadline)) Fail();
    BitsToGray(bits.data(), reply.page);
  } else if (!Read(reply.page.pixels, reply.page.SizeBytes(), deadline)) {
    Fail();
  }
  return reply;
}

PdfRenderer::Reply PdfRenderer::Ask(const PdfRequest& request) {
  Send(request);
  // The page asked ahead is answered first; it is kept for whoever wants it.
  if (m_ahead && !m_aheadReply) {
    try {
      m_aheadReply = Receive(*m_ahead);
    } catch (const ToolError&) {
      if (!m_failure.empty()) throw;
      m_ahead.reset();  // refused: asked again, it is refused again
    }
  }
  return Receive(request);
}

PageSource::PointSize PdfRenderer::DrawnSize(uint32_t index) {
  if (m_ahead && m_ahead->index == index && !m_aheadReply) {
    try {
      m_aheadReply = Receive(*m_ahead);
    } catch (const ToolError&) {
      if (!m_failure.empty()) throw;
      m_ahead.reset();  // refused: its size is asked by itself
    }
  }
  if (m_ahead && m_ahead->index == index)
    return {m_aheadReply->header.pointWidth, m_aheadReply->header.pointHeight};
  PdfRequest request;
  request.index = index;
  const Reply reply = Ask(request);
  return {reply.header.pointWidth, reply.header.pointHeight};
}

PageImage PdfRenderer::Render(uint32_t index, double dpiX, double dpiY, uint32_t bytesPerPixel,
                              bool grayAllowed) {
  PdfRequest request;
  request.index = index;
  request.bytesPerPixel = bytesPerPixel;
  request.dpiX = dpiX;
  request.dpiY = dpiY;
  m_last.reset();
  std::optional<PdfRequest> ahead = std::exchange(m_ahead, std::nullopt);
  std::optional<Reply> aheadReply = std::exchange(m_aheadReply, std::nullopt);
  if (ahead && !aheadReply) {
    try {
      aheadReply = Receive(*ahead);
    } catch (const ToolError&) {
      // Refused: asked again below, it is refused again with its reason.
      if (!m_failure.empty()) throw;
    }
  }
  Reply reply;
  if (aheadReply && aheadReply->page.pixels && ahead->index == index &&
      ahead->bytesPerPixel == bytesPerPixel && ahead->dpiX == dpiX && ahead->dpiY == dpiY) {
    reply = std::move(*aheadReply);
  } else {
    Send(request);
    reply = Receive(request);
  }
  m_last = request;
  m_last->ifPointWidth = reply.header.pointWidth;
  m_last->ifPointHeight = reply.header.pointHeight;
  if (reply.page.bytesPerPixel == 1 && !grayAllowed)
    return GrayToBands(reply.page, bytesPerPixel, "page " + std::to_string(index + 1));
  return std::move(reply.page);
}

void PdfRenderer::RenderAhead(uint32_t index) {
  if (!m_failure.empty() || m_ahead || !m_last || index >= m_pages) return;
  PdfRequest request = *m_last;
  request.index = index;
  try {
    Send(request);
    m_ahead = request;
  } catch (const ToolError&) {
    // The renderer is gone: the next request says why.
  }
}

}  // namespace qxvn
