// The options of qxvn print, help of every command, and what goes where.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/tools/test_images.h"
#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

class PrintOptions : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    first = PatternImage(20, 6, BlackWhite(), 1);
    second = PatternImage(20, 6, BlackWhite(), 2);
    WriteFile(Path("a.pbm"), PnmBytes(first, '4'));
    WritePngFile(Path("b.png"), second, PngKind::Gray1);
  }

  RunResult Print(std::vector<std::string> args) {
    args.insert(args.begin(), "print");
    return RunQxvn(args);
  }

  // The pages decoded from `stream`, in order.
  std::vector<Bitmap> Pages(const std::string& stream, size_t count) {
    for (const std::string& name : ListDir(Dir()))
      if (name.rfind("page", 0) == 0) std::remove(Path(name).c_str());
    RunResult r = RunQxvn({"decode", stream, "-o", Path("page.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<Bitmap> pages;
    if (count == 1) return {ReadPreview(Path("page.png"))};
    for (size_t i = 1; i <= count; ++i)
      pages.push_back(ReadPreview(Path("page-" + std::to_string(i) + ".png")));
    EXPECT_FALSE(Exists(Path("page-" + std::to_string(count + 1) + ".png")));
    return pages;
  }

  Image first, second;
};

TEST_F(PrintOptions, EveryCommandHasHelp) {
  for (const char* command : {"print", "decode", "dump"}) {
    RunResult r = RunQxvn({command, "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind(std::string("usage: qxvn ") + command, 0), 0u) << r.out;
  }
  RunResult r = RunQxvn({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("decode"), std::string::npos);
  EXPECT_EQ(RunQxvn({}).status, 2);
  EXPECT_EQ(RunQxvn({"frobnicate"}).status, 2);
}

TEST_F(PrintOptions, PagesPrintInArgumentOrderAndCopiesFollowCollation) {
  const Bitmap a = ExpectedPrint(first, {}), b = ExpectedPrint(second, {});
  struct Case {
    std::vector<std::string> args;
    std::vector<const Bitmap*> pages;
  } cases[] = {
      {{}, {&a, &b}},
      {{"--copies", "2"}, {&a, &a, &b, &b}},               // the plug-in writes each page twice
      {{"--copies", "2", "--collate"}, {&a, &b, &a, &b}},  // the document is played twice
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {Path("a.pbm"), Path("b.png"), "-o", Path("out.qxvn")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ASSERT_EQ(Print(args).status, 0);
    std::vector<Bitmap> pages = Pages(Path("out.qxvn"), c.pages.size());
    for (size_t i = 0; i < pages.size(); ++i)
      EXPECT_TRUE(SameDots(pages[i], *c.pages[i])) << "page " << i + 1;
  }
  // One page: the plug-in makes the copies, collated or not.
  ASSERT_EQ(Print({Path("a.pbm"), "--copies", "3", "--collate", "-o", Path("one.qxvn")}).status, 0);
  for (const Bitmap& page : Pages(Path("one.qxvn"), 3)) EXPECT_TRUE(SameDots(page, a));
}

TEST_F(PrintOptions, TraceJobIdVerbosityAndStandardOutput) {
  RunResult quiet = Print(
      {Path("a.pbm"), Path("b.png"), "--job-id", "42", "--trace", Path("job.trace"), "-o", Path("out.qxvn")});
  ASSERT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "") << "no trace and no progress off a terminal";
  std::string trace = ReadFile(Path("job.trace"));
  EXPECT_NE(trace.find("CJobProc::ImageProcessing(42, 5, V, P): 20 X -6, Bits: 24"), std::string::npos);
  EXPECT_NE(trace.find("CustomJob: F"), std::string::npos);
  EXPECT_NE(trace.find("    Percent     : "), std::string::npos);
  EXPECT_NE(trace.find("\r\n"), std::string::npos) << "lines as the plug-in wrote them";

  // To standard output, with the trace on standard error; 32 bits a pixel print the same.
  RunResult verbose = Print({Path("a.pbm"), Path("b.png"), "--bpp", "32", "-v", "-o", "-"});
  ASSERT_EQ(verbose.status, 0);
  EXPECT_NE(verbose.err.find("[INF]  CJobProc::ImageProcessing(1, 6, V, P): 20 X -6, Bits: 32"),
            std::string::npos);
  EXPECT_EQ(verbose.err.find('\r'), std::string::npos);
  EXPECT_EQ(verbose.out, ReadFile(Path("out.qxvn")));
}

TEST_F(PrintOptions, ProgressShowsOnATerminalOnly) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs script(1) for a terminal";
  // script(1) runs the tool on a pseudo-terminal and records what it shows.
  std::string command = std::string("script -qec \"") + QXVN_PATH + " print " + Path("a.pbm") + " " +
                        Path("b.png") + " -o " + Path("t.qxvn") + "\" " + Path("typescript") +
                        " >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string shown = ReadFile(Path("typescript"));
  EXPECT_NE(shown.find("page 1 of 2"), std::string::npos) << shown;
  EXPECT_NE(shown.find("page 2 of 2"), std::string::npos) << shown;
  EXPECT_EQ(Print({Path("a.pbm"), Path("b.png"), "-o", Path("p.qxvn")}).err, "");
}

TEST_F(PrintOptions, PaperNamesAUserDefinedSizeElseTheFirstPagesSize) {
  ASSERT_EQ(
      Print({Path("a.pbm"), "--paper", "48.5x76", "--trace", Path("custom.trace"), "-o", Path("c.qxvn")})
          .status,
      0);
  std::string custom = ReadFile(Path("custom.trace"));
  EXPECT_NE(custom.find("Size: 573 X 898"), std::string::npos) << custom;
  EXPECT_NE(custom.find("CustomJob: C"), std::string::npos);
  EXPECT_NE(custom.find("(0000010E, 256, 485*760)"), std::string::npos);

  ASSERT_EQ(Print({Path("a.pbm"), "--trace", Path("form.trace"), "-o", Path("f.qxvn")}).status, 0);
  // 20 x 6 pixels at 300 dpi are 1.7 x 0.5 mm.
  EXPECT_NE(ReadFile(Path("form.trace")).find("(0000010E, 1, 17*5)"), std::string::npos)
      << ReadFile(Path("form.trace"));

  for (const char* bad : {"48", "0x76", "48x", "48x76.25", "3277x10", "ax5"})
    EXPECT_EQ(Print({Path("a.pbm"), "--paper", bad, "-o", Path("x.qxvn")}).status, 2) << bad;
}

TEST_F(PrintOptions, BadValuesAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {Path("a.pbm")},                                        // no -o
      {"-o", Path("x")},                                      // no input
      {Path("a.pbm"), "-o", Path("x"), "--copies", "0"},      //
      {Path("a.pbm"), "-o", Path("x"), "--copies", "32768"},  //
      {Path("a.pbm"), "-o", Path("x"), "--bpp", "16"},        //
      {Path("a.pbm"), "-o", Path("x"), "--job-id", "0"},      //
      {Path("a.pbm"), "-o", Path("x"), "--band-rows", "0"},   //
      {Path("a.pbm"), "-o", Path("x"), "--dpi", "many"},      //
      {Path("a.pbm"), "-o", Path("x"), "--frob"},             //
      {Path("a.pbm"), "-o"},                                  //
  };
  for (const auto& args : cases) {
    RunResult r = Print(args);
    EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(r.err.find("Try 'qxvn print --help'"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(Path("x")));
  }
}

}  // namespace
}  // namespace qxtest
