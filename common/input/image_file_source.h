// What the readers of one-image files (PNG, JPEG) share: the file, mapped or the bytes of a
// pipe; its name for messages; the page limit; letting go of a mapped file between renders and
// mapping it again for the next.
#pragma once

#include <memory>
#include <string>

#include "common/input/page_source.h"
#include "common/io/mapped_file.h"
#include "common/tool_error.h"

namespace qxvn {

class ImageFileSource : public PageSource {
 public:
  size_t PageCount() const override { return 1; }

  void Release() override {
    // Bytes read from a pipe cannot be read again; a mapped file can.
    if (m_file && m_file->IsMapped()) m_file.reset();
  }

 protected:
  ImageFileSource(std::unique_ptr<MappedFile> file, const PageLimits& limits)
      : m_path(file->Path()),
        m_name(MappedFile::DisplayName(m_path)),
        m_limits(limits),
        m_file(std::move(file)) {}

  // Before a render: the file is mapped again if Release let it go.
  void MapAgainIfReleased() {
    if (!m_file) m_file = std::make_unique<MappedFile>(m_path);
  }

  // The resolution a file states, kept when both values are plausible for a printed image
  // (a stray 0 or 1 would make a label kilometres long).
  static void KeepResolution(PageImage& page, double dpiX, double dpiY) {
    auto plausible = [](double dpi) { return dpi >= 10 && dpi <= 10000; };
    const bool keep = plausible(dpiX) && plausible(dpiY);
    page.dpiX = keep ? dpiX : 0;
    page.dpiY = keep ? dpiY : 0;
  }

  // "NAME: cannot decode FORMAT: MESSAGE", the library's message or a stand-in.
  [[noreturn]] void FailDecoding(const char* format, const char* message) const {
    throw ToolError(m_name + ": cannot decode " + format + ": " + (message[0] ? message : "unknown error"));
  }

  std::string m_path;
  std::string m_name;
  PageLimits m_limits;
  std::unique_ptr<MappedFile> m_file;
};

}  // namespace qxvn
