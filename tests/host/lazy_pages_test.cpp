// Pages made one at a time by a feed as the host reaches them, instead of all at hand.
#include <gmock/gmock.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "host/driver_host.h"
#include "tests/support/trace_capture.h"

namespace qxtest {
namespace {

using ::testing::ElementsAre;

constexpr LONG kWidth = 16;
constexpr DWORD kStride = 48;  // 16 pixels of 3 bytes
constexpr DWORD kRows = 12;

// Page n: its first n rows black, the rest white, so that every page prints differently.
std::vector<BYTE> PagePixels(DWORD number) {
  std::vector<BYTE> pixels(kRows * kStride, 0xFF);
  std::fill_n(pixels.begin(), number * kStride, BYTE{0});
  return pixels;
}

class LazyPagesTest : public ::testing::Test {
 protected:
  LazyPagesTest() {
    std::string error;
    EXPECT_TRUE(host.Load(qxhost::BuiltPluginPath(), &error)) << error;
    job.devMode = qxhost::MakeDevMode(DMPAPER_LETTER, 1000, 1500);
    job.feed.count = 3;
    job.feed.next = [this](DWORD number, qxhost::PageSpec& page, std::string& error) {
      asked.push_back(number);
      pagesWrittenWhenAsked.push_back(TracedWith("CJobProc::WritePageData("));
      if (number == failAt) {
        error = failure;
        return false;
      }
      // A new buffer for each page and the previous one freed: views the host kept of an
      // earlier page would read freed memory.
      held = std::make_unique<std::vector<BYTE>>(PagePixels(number));
      page.bands = {qxhost::MakeBand(held->data(), kWidth, 7, 24, 0),
                    qxhost::MakeBand(held->data() + 7 * kStride, kWidth, kRows - 7, 24, 7)};
      return true;
    };
  }

  // The same document with every page at hand.
  qxhost::JobSpec ListedJob(std::vector<std::vector<BYTE>>& pixels) const {
    qxhost::JobSpec listed = job;
    listed.feed = {};
    for (DWORD number = 1; number <= job.feed.count; ++number) {
      pixels.push_back(PagePixels(number));
      listed.pages.emplace_back();
      listed.pages.back().bands = {qxhost::MakeBand(pixels.back().data(), kWidth, kRows, 24)};
    }
    return listed;
  }

  size_t TracedWith(const std::string& start) const {
    const std::vector<std::string> texts = trace.Texts();
    return static_cast<size_t>(std::count_if(texts.begin(), texts.end(),
                                             [&](const std::string& t) { return t.rfind(start, 0) == 0; }));
  }

  size_t Calls(const qxhost::PrintResult& result, const std::string& name) const {
    return static_cast<size_t>(
        std::count_if(result.calls.begin(), result.calls.end(),
                      [&](const qxhost::CallResult& call) { return call.call == name; }));
  }

  TraceCapture trace;
  qxhost::DriverHost host;
  qxhost::JobSpec job;
  std::unique_ptr<std::vector<BYTE>> held;
  std::vector<DWORD> asked;
  std::vector<size_t> pagesWrittenWhenAsked;
  DWORD failAt = 0;
  std::string failure = "page two is unreadable";
};

TEST_F(LazyPagesTest, PagesAreAskedForInOrderEachOnceThePageBeforeIsDone) {
  std::vector<DWORD> progress;
  job.onPage = [&](DWORD page, DWORD pages) { progress.push_back(page * 10 + pages); };
  qxhost::PrintResult fed = host.Print(job);
  ASSERT_TRUE(fed.ok) << fed.error;
  EXPECT_THAT(asked, ElementsAre(1u, 2u, 3u));
  EXPECT_THAT(pagesWrittenWhenAsked, ElementsAre(0u, 1u, 2u));
  EXPECT_THAT(progress, ElementsAre(13u, 23u, 33u));
  EXPECT_EQ(TracedWith("CJobProc::PushJobStart(1) TotalPages: 3,"), 1u);

  std::vector<std::vector<BYTE>> pixels;
  qxhost::PrintResult listed = host.Print(ListedJob(pixels));
  ASSERT_TRUE(listed.ok) << listed.error;
  EXPECT_EQ(fed.spool, listed.spool);
}

TEST_F(LazyPagesTest, APageTheFeedCannotMakeEndsTheDocumentUnfinished) {
  failAt = 2;
  qxhost::PrintResult result = host.Print(job);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "page two is unreadable");
  EXPECT_THAT(asked, ElementsAre(1u, 2u)) << "nothing is asked for after the failure";
  EXPECT_EQ(Calls(result, "DrvStartPage"), 1u);
  EXPECT_EQ(Calls(result, "DrvSendPage"), 1u);
  EXPECT_TRUE(trace.Contains("CJobProc::PushJobAbort(1)"));
  EXPECT_EQ(result.calls.back().call, "DllCanUnloadNow");
  EXPECT_TRUE(result.calls.back().ok);

  // Without a reason of its own, the failure names the page.
  failAt = 1;
  failure.clear();
  asked.clear();
  result = host.Print(job);
  EXPECT_EQ(result.error, "page 1 could not be made");
  EXPECT_EQ(Calls(result, "DrvStartPage"), 0u);
  EXPECT_EQ(Calls(result, "DrvEndDoc"), 1u);
}

TEST_F(LazyPagesTest, AFeedThatThrowsFailsTheDocumentAndTheDriverStillShutsDown) {
  job.feed.next = [](DWORD, qxhost::PageSpec&, std::string&) -> bool {
    throw std::runtime_error("decoder gave up");
  };
  qxhost::PrintResult result = host.Print(job);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "decoder gave up");
  EXPECT_EQ(result.calls[result.calls.size() - 5].call, "DrvEndDoc");
  EXPECT_EQ(result.calls.back().call, "DllCanUnloadNow");
}

TEST_F(LazyPagesTest, AJobGivesItsPagesOneWayOnly) {
  std::vector<std::vector<BYTE>> pixels;
  qxhost::JobSpec both = ListedJob(pixels);
  both.feed = job.feed;
  qxhost::PrintResult result = host.Print(both);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "a job's pages come either in its page list or from its feed, not both");
  EXPECT_TRUE(asked.empty());
  EXPECT_TRUE(result.calls.empty());
}

}  // namespace
}  // namespace qxtest
