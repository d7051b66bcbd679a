// Prints a stream's warnings on standard error: the first few of each page in full, then only
// how many more there were, so that a page of many wide lines does not flood the terminal.
#pragma once

#include <cstddef>
#include <string>

#include "common/wire/wire_reader.h"

namespace qxvn::wire {

class WarningReport {
 public:
  explicit WarningReport(std::string streamName) : m_streamName(std::move(streamName)) {}
  void Add(unsigned page, const Diagnostic& warning);
  // Call at each page end and at the end of the stream.
  void Close();

 private:
  static constexpr size_t kShownPerPage = 5;
  std::string m_streamName;
  unsigned m_page = 0;
  size_t m_onPage = 0;
};

// "offset 1234" text used in every message about a stream position.
std::string OffsetText(size_t offset);

}  // namespace qxvn::wire
