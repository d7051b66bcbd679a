// qxvn-pdf-render DPI-X DPI-Y MAX-PIXELS MAX-MEMORY-BYTES MAX-SECONDS [PAGE BYTES-PER-PIXEL]
//
// Reads a PDF document from standard input and answers on standard output (see PdfReply): the
// page count, and PAGE (counted from 0) rendered when asked, or only its size with 0 bytes a
// pixel. The readers run it for every PDF
// so that the PDF library, its allocations and its time stay out of the printing process: the
// process limits itself to MAX-MEMORY-BYTES of address space and MAX-SECONDS of processor time
// before it reads anything.
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "common/input/pdf_raster.h"
#include "common/input/pdf_reply.h"
#include "common/tool_error.h"

namespace {

bool WriteAll(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t n = write(STDOUT_FILENO, p, size);
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool Resolution(const char* text, double* value) {
  const char* end = text + std::strlen(text);
  auto [last, error] = std::from_chars(text, end, *value);
  return error == std::errc() && last == end && *value >= 1 && *value <= 100000;
}

bool Number(const char* text, uint64_t* value) {
  const char* end = text + std::strlen(text);
  auto [last, error] = std::from_chars(text, end, *value);
  return error == std::errc() && last == end;
}

void LimitSelf(uint64_t memoryBytes, uint64_t seconds) {
  if (memoryBytes > 0 && !qxvn::kAddressSanitizer) {
    rlimit memory{memoryBytes, memoryBytes};
    setrlimit(RLIMIT_AS, &memory);
  }
  if (seconds > 0) {
    rlimit cpu{seconds, seconds + 1};
    setrlimit(RLIMIT_CPU, &cpu);
  }
  rlimit core{0, 0};
  setrlimit(RLIMIT_CORE, &core);
}

[[noreturn]] void OutOfMemory() { _exit(qxvn::kPdfRendererOutOfMemory); }

}  // namespace

int main(int argc, char** argv) {
  double dpiX = 0, dpiY = 0;
  uint64_t maxPixels = 0, maxMemory = 0, maxSeconds = 0, page = 0, bytesPerPixel = 3;
  const bool asks = argc == 8;
  if ((argc != 6 && !asks) || !Resolution(argv[1], &dpiX) || !Resolution(argv[2], &dpiY) ||
      !Number(argv[3], &maxPixels) || !Number(argv[4], &maxMemory) || !Number(argv[5], &maxSeconds) ||
      (asks && (!Number(argv[6], &page) || !Number(argv[7], &bytesPerPixel) ||
                (bytesPerPixel != 0 && bytesPerPixel != 3 && bytesPerPixel != 4)))) {
    static const char kUsage[] =
        "usage: qxvn-pdf-render DPI-X DPI-Y MAX-PIXELS MAX-MEMORY-BYTES MAX-SECONDS [PAGE 0|3|4] <PDF\n";
    (void)!write(STDERR_FILENO, kUsage, sizeof kUsage - 1);
    return 2;
  }
  LimitSelf(maxMemory, maxSeconds);
  std::set_new_handler(OutOfMemory);

  qxvn::PdfReply reply;
  std::string message;
  qxvn::PageImage image;
  try {
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    ssize_t n;
    while ((n = read(STDIN_FILENO, buffer, sizeof buffer)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    if (n < 0) throw qxvn::ToolError(std::string("cannot read the document: ") + std::strerror(errno));
    qxvn::PdfRaster document(bytes);
    reply.pages = static_cast<uint32_t>(std::min<size_t>(document.PageCount(), UINT32_MAX));
    if (reply.pages == 0) throw qxvn::ToolError("the PDF document has no pages");
    if (asks) {
      if (page >= reply.pages)
        throw qxvn::ToolError("page " + std::to_string(page + 1) + " is not in the document");
      std::tie(reply.pointWidth, reply.pointHeight) = document.DrawnSize(page);
    }
    if (asks && bytesPerPixel != 0) {
      image = document.Render(page, dpiX, dpiY, maxPixels, static_cast<uint32_t>(bytesPerPixel), maxMemory);
      reply.width = image.width;
      reply.height = image.height;
      reply.bytesPerPixel = image.bytesPerPixel;
      reply.stride = image.stride;
    }
  } catch (const qxvn::ToolError& e) {
    reply = qxvn::PdfReply{};
    reply.refused = 1;
    message = e.what();
  } catch (const std::bad_alloc&) {
    OutOfMemory();
  }
  reply.messageBytes = static_cast<uint32_t>(message.size());
  if (!WriteAll(&reply, sizeof reply) || !WriteAll(message.data(), message.size())) return 1;
  // Pixels the library no longer holds (see PdfRaster::Render) are memory it could not get.
  if (image.pixels && !WriteAll(image.pixels, image.SizeBytes()))
    return errno == EFAULT ? qxvn::kPdfRendererOutOfMemory : 1;
  return 0;
}
