// The labels of a command stream as pictures, one at a time, drawn as `qxvn decode` draws them:
// reading a stream keeps no page but the one asked for, so a picture costs the memory of one
// label whatever the stream holds.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "common/wire/wire_reader.h"

namespace qxvn::wire {

struct LabelSize {
  uint32_t width = 0;  // dots
  uint64_t height = 0;
};

struct StreamLabels {
  std::vector<LabelSize> labels;    // every whole page, in order
  std::optional<Diagnostic> error;  // where reading stopped, when it did
};

StreamLabels SurveyLabels(std::span<const uint8_t> stream);

// The PNG of page `number` (from 1), the same bytes `qxvn decode` writes for it; nothing when
// the stream holds no such whole page. Throws ToolError for a page too tall to draw.
std::optional<std::vector<uint8_t>> LabelPng(std::span<const uint8_t> stream, unsigned number);

// Calls `use` with page `number` (from 1) as the reader finishes it; false when the stream
// holds no such whole page.
bool WithLabel(std::span<const uint8_t> stream, unsigned number, const std::function<void(const Page&)>& use);

}  // namespace qxvn::wire
