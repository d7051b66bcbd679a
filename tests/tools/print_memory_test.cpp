// qxvn print holds one page at a time (scripts/bench-print.sh shows the memory figures): a page that
// cannot be decoded part way stops the job, and inputs do not hold their files between pages.
#include <algorithm>

#include "tests/tools/test_images.h"
#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class PrintMemory : public ToolTest {};

TEST_F(PrintMemory, APageThatCannotBeDecodedPartWayStopsTheJob) {
  WriteFile(Path("good.ppm"), PnmBytes(PatternImage(64, 64, ColourPalette(), 3), '6'));
  // The header is sound, so the file opens; its pixels end half way.
  WritePngFile(Path("full.png"), PatternImage(64, 64, ColourPalette(), 4), PngKind::Rgb8);
  const std::string png = ReadFile(Path("full.png"));
  WriteFile(Path("cut.png"), png.substr(0, png.size() / 2));
  WriteFile(Path("out.qxvn"), "the earlier stream");
  const size_t files = ListDir(Dir()).size();

  RunResult r = RunQxvn({"print", Path("good.ppm"), Path("cut.png"), Path("good.ppm"), "--trace",
                         Path("job.trace"), "-o", Path("out.qxvn")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("qxvn: " + Path("cut.png") + ": cannot decode PNG", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(ReadFile(Path("out.qxvn")), "the earlier stream");
  EXPECT_EQ(ListDir(Dir()).size(), files + 1) << "only the trace is new";
  // The first page printed, the document was aborted, and the third page never started.
  const std::string trace = ReadFile(Path("job.trace"));
  EXPECT_EQ(Occurrences(trace, "CJobProc::WritePageData("), 1u) << trace;
  EXPECT_EQ(Occurrences(trace, "CJobProc::StartPage("), 1u);
  EXPECT_EQ(Occurrences(trace, "CJobProc::PushJobAbort(1)"), 1u);

  r = RunQxvn({"print", Path("good.ppm"), Path("cut.png"), "-o", Path("new.qxvn")});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(Exists(Path("new.qxvn")));
}

TEST_F(PrintMemory, ManyInputsHoldOneOpenFileAtATime) {
  // Forty PDF documents and forty images, with descriptors for far fewer.
  const std::string pdf = std::string(QXVN_EXAMPLES) + "/shipping-label.pdf";
  WriteFile(Path("small.ppm"), PnmBytes(PatternImage(32, 32, BlackWhite(), 5), '6'));
  std::vector<std::string> args = {"print"};
  for (int i = 0; i < 40; ++i) args.insert(args.end(), {pdf, Path("small.ppm")});
  args.insert(args.end(), {"-o", Path("many.qxvn")});
  RunResult r = RunQxvn(args, "ulimit -n 24;");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Exists(Path("many.qxvn")));
}

}  // namespace
}  // namespace qxtest
