#include "tests/tools/hostile_documents.h"

#include <zlib.h>

#include <cstdint>

namespace qxtest {
namespace {

std::string BigEndian(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string Chunk(const std::string& type, const std::string& data, uint32_t declaredLength) {
  const std::string body = type + data;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return BigEndian(declaredLength) + body + BigEndian(static_cast<uint32_t>(crc));
}

}  // namespace

std::string HugeObjectNumberPdf() {
  return "%PDF-1.4\n"
         "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
         "2 0 obj << /Type /Pages /Kids [33554431 0 R] /Count 1 >> endobj\n"
         "33554431 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 144 72] >> endobj\n"
         "trailer << /Root 1 0 R >>\n%%EOF\n";
}

std::string HugeTextChunkPng() {
  const std::string header = BigEndian(2) + BigEndian(2) + std::string{8, 0, 0, 0, 0};
  std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", header, 13) +
                    Chunk("tEXt", "Comment" + std::string(1, '\0') + std::string(40, 'x'), 0x7FFFFFF0);
  png.resize(141, '\0');
  return png;
}

}  // namespace qxtest
