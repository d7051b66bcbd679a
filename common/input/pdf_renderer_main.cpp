// qxvn-pdf-render MAX-PIXELS MAX-MEMORY-BYTES MAX-SECONDS [spare]
//
// Reads a PDF document from standard input, answers its page count on standard output, then
// answers each request read from descriptor 3 (see pdf_protocol.h) until that descriptor ends:
// a page's size, or the page rendered. The readers run one for every PDF document they print,
// so that the PDF library, its allocations and its time stay out of the printing process: the
// process limits itself to MAX-MEMORY-BYTES of address space before it reads anything, and to
// MAX-SECONDS of processor time for the page count and again for each request. A spare first
// gets the PDF library ready (its fonts found), then forks a process of its own for each document
// whose descriptors arrive on descriptor 3 (see ForkForEachDocument).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "common/input/descriptor_passing.h"
#include "common/input/pdf_pixels.h"
#include "common/input/pdf_protocol.h"
#include "common/input/pdf_raster.h"
#include "common/io/page_memory.h"
#include "common/tool_error.h"

namespace {

bool WriteAll(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t n = write(STDOUT_FILENO, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// False at the end of the requests (or a short one).
bool ReadRequest(qxvn::PdfRequest* request) {
  auto* p = reinterpret_cast<uint8_t*>(request);
  size_t size = sizeof *request;
  while (size > 0) {
    ssize_t n = read(qxvn::kPdfRequestDescriptor, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool Number(const char* text, uint64_t* value) {
  const char* end = text + std::strlen(text);
  auto [last, error] = std::from_chars(text, end, *value);
  return error == std::errc() && last == end;
}

bool Resolution(double dpi) { return dpi >= 1 && dpi <= 100000; }

void LimitMemory(uint64_t memoryBytes) {
  if (memoryBytes > 0 && !qxvn::kAddressSanitizer) {
    rlimit memory{memoryBytes, memoryBytes};
    setrlimit(RLIMIT_AS, &memory);
  }
  rlimit core{0, 0};
  setrlimit(RLIMIT_CORE, &core);
}

// Processor time from now: the soft limit moves on with each request (SIGXCPU ends the
// process when it is reached); the printing process stops one that overruns its wall clock.
void AllowSeconds(uint64_t seconds) {
  rusage used{};
  getrusage(RUSAGE_SELF, &used);
  rlimit cpu{};
  getrlimit(RLIMIT_CPU, &cpu);
  const auto spent = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec + 1);
  cpu.rlim_cur = spent + seconds;
  if (cpu.rlim_max != RLIM_INFINITY && cpu.rlim_cur > cpu.rlim_max) cpu.rlim_cur = cpu.rlim_max;
  setrlimit(RLIMIT_CPU, &cpu);
}

// A page of text in the standard fonts labels use most, drawn once so that the library has
// found its fonts before a document waits. The library forgets what it found (and sets itself up
// again) when its last document closes, so this one stays open while the spare's document prints.
struct WarmDocument {
  std::string bytes;
  std::unique_ptr<qxvn::PdfRaster> document;
};

std::unique_ptr<WarmDocument> WarmUp() {
  const std::string text = "BT /A 9 Tf 2 2 Td (Ag) Tj /B 9 Tf (Ag) Tj /C 9 Tf (Ag) Tj /D 9 Tf (Ag) Tj ET\n";
  auto warm = std::make_unique<WarmDocument>();
  warm->bytes =
      "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[3 0 R]/Count "
      "1>>endobj\n"
      "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 72 36]/Contents 4 0 R/Resources<</Font<</A 5 0 R/B 6 0 R"
      "/C 7 0 R/D 8 0 R>>>>>>endobj\n4 0 obj<</Length " +
      std::to_string(text.size()) + ">>stream\n" + text +
      "endstream endobj\n5 0 obj<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>endobj\n"
      "6 0 obj<</Type/Font/Subtype/Type1/BaseFont/Helvetica-Bold>>endobj\n"
      "7 0 obj<</Type/Font/Subtype/Type1/BaseFont/Courier>>endobj\n"
      "8 0 obj<</Type/Font/Subtype/Type1/BaseFont/Times-Roman>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n";
  try {
    warm->document = std::make_unique<qxvn::PdfRaster>(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(warm->bytes.data()), warm->bytes.size()));
    warm->document->Render(0, 72, 72, 1 << 20, 3);
  } catch (const qxvn::ToolError&) {
  }
  return warm;
}

// The process for the next document, forked ahead, so that the forks are made while no document
// waits. It is forked from a short-lived child, so that it becomes a child of the printing process
// (a subreaper) once that child has ended. In the spare: its id and the spare's end of the socket
// its document's descriptors go to (0 and -1 when it could not be made). In that process, which
// returns only once it has its descriptors: the document's descriptor, its ends in place.
struct NextDocument {
  pid_t pid = 0;
  int handoff = -1;
  int document = -1;  // in the document's process
};

NextDocument ForkNextDocument() {
  constexpr int kControl = qxvn::kPdfRequestDescriptor;
  NextDocument next;
  int ends[2] = {-1, -1}, idPipe[2] = {-1, -1};
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return next;
  const pid_t between = pipe2(idPipe, O_CLOEXEC) == 0 ? fork() : -1;
  if (between == 0) {
    close(idPipe[0]);
    close(ends[0]);
    const pid_t document = fork();
    if (document == 0) {
      close(idPipe[1]);
      // The spare's end of descriptor 3 stays open until the requests' end replaces it, so that no
      // descriptor received lands there.
      int passed[3] = {-1, -1, -1};  // document, requests, answers
      if (!qxvn::ReceiveDescriptors(ends[1], passed)) _exit(0);
      close(ends[1]);
      if (dup2(passed[2], STDOUT_FILENO) < 0 || dup2(passed[1], kControl) < 0) _exit(1);
      close(passed[1]);
      close(passed[2]);
      next.document = passed[0];
      return next;
    }
    (void)!write(idPipe[1], &document, sizeof document);
    _exit(0);
  }
  close(ends[1]);
  if (idPipe[1] >= 0) close(idPipe[1]);
  pid_t document = 0;
  if (between > 0) {
    if (read(idPipe[0], &document, sizeof document) != sizeof document || document < 0) document = 0;
    while (waitpid(between, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (idPipe[0] >= 0) close(idPipe[0]);
  if (document > 0) {
    next.pid = document;
    next.handoff = ends[0];
  } else {
    close(ends[0]);
  }
  return next;
}

// A spare's life: each message on descriptor 3 carries a document, the socket end its requests
// come on and the pipe end its answers go to; the spare hands them to the process forked ahead for
// the next document, which finds the library loaded and its fonts found, answers its id (4 bytes,
// 0 when there was none) and forks the next. Returns, in a document's process, the document's
// descriptor; the spare itself ends when descriptor 3 does.
int ForkForEachDocument(uint64_t maxSeconds) {
  constexpr int kControl = qxvn::kPdfRequestDescriptor;
  for (;;) {
    AllowSeconds(maxSeconds);
    NextDocument next = ForkNextDocument();
    if (next.document >= 0) return next.document;
    int passed[3] = {-1, -1, -1};
    if (!qxvn::ReceiveDescriptors(kControl, passed)) _exit(0);
    const int32_t id = next.pid > 0 && qxvn::SendDescriptors(next.handoff, passed) ? next.pid : 0;
    for (int fd : passed) close(fd);
    if (next.handoff >= 0) close(next.handoff);
    if (send(kControl, &id, sizeof id, MSG_NOSIGNAL) != sizeof id) _exit(0);
  }
}

[[noreturn]] void OutOfMemory() { _exit(qxvn::kPdfRendererOutOfMemory); }

struct Answer {
  qxvn::PdfReply reply;
  std::string message;
  qxvn::PageImage image;
  std::vector<uint8_t> encoded;
};

void Serve(qxvn::PdfRaster& document, const qxvn::PdfRequest& request, uint64_t maxPixels, uint64_t maxMemory,
           Answer& answer) {
  qxvn::PdfReply& reply = answer.reply;
  reply.index = request.index;
  if (request.magic != qxvn::PdfRequest::kMagic ||
      (request.bytesPerPixel != 0 && request.bytesPerPixel != 3 && request.bytesPerPixel != 4) ||
      (request.bytesPerPixel != 0 && !(Resolution(request.dpiX) && Resolution(request.dpiY))))
    throw qxvn::ToolError("the PDF renderer was asked something else than a page");
  if (request.index >= reply.pages)
    throw qxvn::ToolError("page " + std::to_string(request.index + 1) + " is not in the document");
  std::tie(reply.pointWidth, reply.pointHeight) = document.DrawnSize(request.index);
  if (request.bytesPerPixel == 0) return;
  if (request.ifPointWidth != 0 &&
      (request.ifPointWidth != reply.pointWidth || request.ifPointHeight != reply.pointHeight))
    return;
  answer.image =
      document.Render(request.index, request.dpiX, request.dpiY, maxPixels, request.bytesPerPixel, maxMemory);
  const qxvn::PageImage& image = answer.image;
  reply.width = image.width;
  reply.height = image.height;
  reply.bytesPerPixel = image.bytesPerPixel;
  reply.stride = image.stride;
  reply.encoding = qxvn::Compact(image, answer.encoded);
  if (reply.encoding != qxvn::PdfPixels::kAsAsked) answer.image = qxvn::PageImage{};
  reply.payloadBytes = qxvn::EncodedBytes(reply.encoding, reply.width, reply.height, reply.bytesPerPixel);
}

// False when the printing process is gone. Pixels the library no longer holds (see
// PdfRaster::Render) are memory it could not get.
bool Send(Answer& answer) {
  answer.reply.messageBytes = static_cast<uint32_t>(answer.message.size());
  if (!WriteAll(&answer.reply, sizeof answer.reply) ||
      !WriteAll(answer.message.data(), answer.message.size()))
    return false;
  const bool sent = answer.image.pixels ? WriteAll(answer.image.pixels, answer.image.SizeBytes())
                                        : WriteAll(answer.encoded.data(), answer.encoded.size());
  if (!sent && errno == EFAULT) OutOfMemory();
  return sent;
}

void Refuse(Answer& answer, const std::string& message) {
  const uint32_t pages = answer.reply.pages, index = answer.reply.index;
  answer = Answer{};
  answer.reply.refused = 1;
  answer.reply.pages = pages;
  answer.reply.index = index;
  answer.message = message;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t maxPixels = 0, maxMemory = 0, maxSeconds = 0;
  const bool spare = argc == 5 && std::strcmp(argv[4], "spare") == 0;
  if ((argc != 4 && !spare) || !Number(argv[1], &maxPixels) || !Number(argv[2], &maxMemory) ||
      !Number(argv[3], &maxSeconds)) {
    static const char kUsage[] =
        "usage: qxvn-pdf-render MAX-PIXELS MAX-MEMORY-BYTES MAX-SECONDS [spare] <PDF 3<REQUESTS\n";
    (void)!write(STDERR_FILENO, kUsage, sizeof kUsage - 1);
    return 2;
  }
  LimitMemory(maxMemory);
  qxvn::KeepPageMemoryForReuse();
  std::set_new_handler(OutOfMemory);
  int input = STDIN_FILENO;
  std::unique_ptr<WarmDocument> warm;
  if (spare) {
    AllowSeconds(maxSeconds);
    warm = WarmUp();
    input = ForkForEachDocument(maxSeconds);
  }
  AllowSeconds(maxSeconds);

  std::vector<uint8_t> bytes;
  std::unique_ptr<qxvn::PdfRaster> document;
  Answer opened;
  try {
    uint8_t buffer[65536];
    ssize_t n;
    while ((n = read(input, buffer, sizeof buffer)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    if (n < 0) throw qxvn::ToolError(std::string("cannot read the document: ") + std::strerror(errno));
    document = std::make_unique<qxvn::PdfRaster>(bytes);
    opened.reply.pages = static_cast<uint32_t>(std::min<size_t>(document->PageCount(), UINT32_MAX));
    if (opened.reply.pages == 0) throw qxvn::ToolError("the PDF document has no pages");
  } catch (const qxvn::ToolError& e) {
    Refuse(opened, e.what());
  } catch (const std::bad_alloc&) {
    OutOfMemory();
  }
  if (!Send(opened)) return 1;
  // A document refused is answered once; the printing process asks nothing of it.
  if (opened.reply.refused) return 0;

  qxvn::PdfRequest request;
  while (ReadRequest(&request)) {
    AllowSeconds(maxSeconds);
    Answer answer;
    answer.reply.pages = opened.reply.pages;
    try {
      Serve(*document, request, maxPixels, maxMemory, answer);
    } catch (const qxvn::ToolError& e) {
      Refuse(answer, e.what());
    } catch (const std::bad_alloc&) {
      OutOfMemory();
    }
    if (!Send(answer)) return 1;
  }
  return 0;
}
