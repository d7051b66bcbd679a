#include "tools/qxvn/wire/stream_labels.h"

#include "tools/qxvn/wire/preview.h"

namespace qxvn::wire {
namespace {

class Survey : public StreamListener {
 public:
  void OnPageEnd(const Page& page) override { labels.push_back({PreviewWidth(page), page.lines}); }
  std::vector<LabelSize> labels;
};

// Draws the one page asked for as the reader finishes it.
class OnePage : public StreamListener {
 public:
  explicit OnePage(unsigned number) : m_number(number) {}
  void OnPageEnd(const Page& page) override {
    if (page.number == m_number && !png) png = PreviewPng(page);
  }
  std::optional<std::vector<uint8_t>> png;

 private:
  unsigned m_number;
};

}  // namespace

StreamLabels SurveyLabels(std::span<const uint8_t> stream) {
  Survey survey;
  StreamLabels result;
  result.error = ReadStream(stream, survey);
  result.labels = std::move(survey.labels);
  return result;
}

std::optional<std::vector<uint8_t>> LabelPng(std::span<const uint8_t> stream, unsigned number) {
  OnePage page(number);
  ReadStream(stream, page);
  return std::move(page.png);
}

}  // namespace qxvn::wire
