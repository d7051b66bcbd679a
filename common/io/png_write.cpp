#include "common/io/png_write.h"

#include <png.h>

#include <csetjmp>
#include <string>

#include "common/tool_error.h"

namespace qxvn {
namespace {

// Where the encoded bytes go: false when they could not be taken.
using ByteSink = std::function<bool(const uint8_t*, size_t)>;

struct WriteContext {
  const ByteSink* sink;
  char message[200];
};

void OnError(png_structp png, png_const_charp message) {
  auto* context = static_cast<WriteContext*>(png_get_error_ptr(png));
  std::snprintf(context->message, sizeof context->message, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnWrite(png_structp png, png_bytep data, size_t size) {
  auto* context = static_cast<WriteContext*>(png_get_io_ptr(png));
  if (!(*context->sink)(data, size)) png_error(png, "write failed");
}

void OnFlush(png_structp) {}

// Only plain data lives here, so that libpng's long jump skips no destructor.
bool WriteRows(png_structp png, png_infop info, const PngLayout& layout, const PngRows& row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Dots per inch in dots per metre, rounded.
  png_uint_32 perMetre = static_cast<png_uint_32>((layout.dotsPerInch * 10000u + 127u) / 254u);
  png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  for (uint32_t y = 0; y < layout.height; ++y) png_write_row(png, const_cast<png_bytep>(row(y)));
  png_write_end(png, info);
  return true;
}

// False with the library's reason in `message` when encoding or the sink failed.
bool Encode(const ByteSink& sink, const PngLayout& layout, const PngRows& row, std::string* message) {
  WriteContext context{&sink, {}};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, OnError, OnWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    *message = "out of memory";
    return false;
  }
  png_set_write_fn(png, &context, OnWrite, OnFlush);
  // The library's default stops at a million rows; a preview may be as tall as the format allows.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  bool ok = WriteRows(png, info, layout, row);
  png_destroy_write_struct(&png, &info);
  if (!ok) *message = context.message;
  return ok;
}

}  // namespace

void WritePng(AtomicOutput& out, const PngLayout& layout, const PngRows& row) {
  std::string message;
  const ByteSink sink = [&out](const uint8_t* data, size_t size) { return out.Write(data, size); };
  if (!Encode(sink, layout, row, &message)) {
    if (!out.FailureText().empty()) throw ToolError(out.FailureText());
    throw ToolError("cannot write " + out.Path() + ": " + message);
  }
}

std::vector<uint8_t> EncodePng(const PngLayout& layout, const PngRows& row) {
  std::vector<uint8_t> bytes;
  std::string message;
  const ByteSink sink = [&bytes](const uint8_t* data, size_t size) {
    bytes.insert(bytes.end(), data, data + size);
    return true;
  };
  if (!Encode(sink, layout, row, &message)) throw ToolError("cannot make the picture: " + message);
  return bytes;
}

}  // namespace qxvn
