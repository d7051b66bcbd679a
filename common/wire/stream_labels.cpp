#include "common/wire/stream_labels.h"

#include "common/wire/preview.h"

namespace qxvn::wire {
namespace {

class Survey : public StreamListener {
 public:
  void OnPageEnd(const Page& page) override { labels.push_back({PreviewWidth(page), page.lines}); }
  std::vector<LabelSize> labels;
};

// Hands the one page asked for on as the reader finishes it.
class OnePage : public StreamListener {
 public:
  OnePage(unsigned number, const std::function<void(const Page&)>& use) : m_number(number), m_use(use) {}
  void OnPageEnd(const Page& page) override {
    if (page.number != m_number || found) return;
    found = true;
    m_use(page);
  }
  bool found = false;

 private:
  unsigned m_number;
  const std::function<void(const Page&)>& m_use;
};

}  // namespace

StreamLabels SurveyLabels(std::span<const uint8_t> stream) {
  Survey survey;
  StreamLabels result;
  result.error = ReadStream(stream, survey);
  result.labels = std::move(survey.labels);
  return result;
}

bool WithLabel(std::span<const uint8_t> stream, unsigned number,
               const std::function<void(const Page&)>& use) {
  OnePage page(number, use);
  ReadStream(stream, page);
  return page.found;
}

std::optional<std::vector<uint8_t>> LabelPng(std::span<const uint8_t> stream, unsigned number) {
  std::optional<std::vector<uint8_t>> png;
  WithLabel(stream, number, [&png](const Page& page) { png = PreviewPng(page); });
  return png;
}

}  // namespace qxvn::wire
