// qxvn decode and dump on streams made by hand: strict checks with byte offsets, warnings for
// what a printer would not expect, and what the pages look like.
#include <gtest/gtest.h>

#include "tests/tools/test_images.h"
#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// A page 16 dots wide: 2 blank lines, then 3 lines "FF 00" and one line "00 81".
std::string Page(std::string extraHeader = "") {
  return Bytes({0x1F, 0x20, 0x00, 0x88}) + Bytes({0x1F, 0x27, 0x01, 0x02, 0x88}) +
         Bytes({0x1F, 0x25, 0x02, 0x08, 0x05, 0x88}) + extraHeader + Bytes({0x1F, 0x22, 0x01, 0x01, 0x88}) +
         Bytes({0x1F, 0x21, 0x03, 0x02, 0x00, 0xFF, 0x88}) +
         Bytes({0x1F, 0x21, 0x03, 0x00, 0x01, 0x81, 0x88}) + Bytes({0x1F, 0x28, 0x00, 0x88});
}

class Decode : public ToolTest {
 protected:
  RunResult DecodeBytes(const std::string& stream) {
    WriteFile(Path("in.qxvn"), stream);
    return RunQxvn({"decode", Path("in.qxvn"), "-o", Path("out.png")});
  }
};

TEST_F(Decode, DrawsEachPageAt300Dpi) {
  RunResult r = DecodeBytes(Page());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  Bitmap page = ReadPreview(Path("out.png"));
  ASSERT_EQ(page.width, 16u);
  ASSERT_EQ(page.height, 6u);
  EXPECT_EQ(page.dotsPerMetre, 11811u);
  auto row = [&](uint32_t y) {
    std::string bits;
    for (uint32_t x = 0; x < 16; ++x) bits += page.At(x, y) ? '1' : '0';
    return bits;
  };
  EXPECT_EQ(row(0) + row(1), std::string(32, '0'));
  for (uint32_t y = 2; y < 5; ++y) EXPECT_EQ(row(y), "1111111100000000");
  EXPECT_EQ(row(5), "0000000010000001");

  r = DecodeBytes(Page() + Page() + Page());
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"out-1.png", "out-2.png", "out-3.png"})
    EXPECT_EQ(ReadPreview(Path(name)).height, 6u);

  // Pages wait for each other without holding a file open each.
  std::string many;
  for (int i = 0; i < 60; ++i) many += Page();
  WriteFile(Path("many.qxvn"), many);
  r = RunQxvn({"decode", Path("many.qxvn"), "-o", Path("many.png")}, "ulimit -n 24;");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Exists(Path("many-60.png")));
}

// print --preview draws the stream it writes as decode does, whatever the output is: a file,
// or standard output (whose bytes stay the stream alone).
TEST_F(Decode, PrintPreviewIsTheDecodeOfTheStream) {
  WriteFile(Path("a.pnm"), PnmBytes(PatternImage(40, 30, BlackWhite(), 3), '6'));
  WriteFile(Path("b.pnm"), PnmBytes(PatternImage(24, 50, BlackWhite(), 4), '6'));
  RunResult r = RunQxvn({"print", Path("a.pnm"), Path("b.pnm"), "--copies", "2", "--collate", "-o",
                         Path("job.qxvn"), "--preview", Path("seen.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(RunQxvn({"decode", Path("job.qxvn"), "-o", Path("decoded.png")}).status, 0);
  for (const char* page : {"-1.png", "-2.png", "-3.png", "-4.png"})
    EXPECT_EQ(ReadFile(Path(std::string("seen") + page)), ReadFile(Path(std::string("decoded") + page)))
        << page;
  EXPECT_FALSE(Exists(Path("seen-5.png")));
  EXPECT_NE(r.out.find("seen-4.png: page 4"), std::string::npos) << r.out;

  r = RunQxvn({"print", Path("a.pnm"), "-o", "-", "--preview", Path("piped.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  WriteFile(Path("piped.qxvn"), r.out);
  ASSERT_EQ(RunQxvn({"decode", Path("piped.qxvn"), "-o", Path("piped-decoded.png")}).status, 0)
      << "stdout holds the stream alone";
  EXPECT_EQ(ReadFile(Path("piped.png")), ReadFile(Path("piped-decoded.png")));
}

TEST_F(Decode, DumpListsPackagesAndPageSummaries) {
  WriteFile(Path("in.qxvn"), Page(Bytes({0x1F, 0x43, 0x01, 0x0A, 0x88, 0x1F, 0x42, 0x01, 0x01, 0x88, 0x1F,
                                         0x45, 0x02, 0xC1, 0x2C, 0x88})));
  RunResult r = RunQxvn({"dump", Path("in.qxvn")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "         0  PAGE_BEGIN\n"
            "         4  LINE_BYTES    2 bytes (16 dots)\n"
            "         9  DOT_LIMITS    at most 8 dots a line, 5 on average over 35 lines\n"
            "        15  DARKNESS      10\n"
            "        20  GAP_TYPE      1\n"
            "        25  GAP_LENGTH    300\n"
            "        31  FEED_LINES    2 blank lines\n"
            "        36  PRINT_LINES   3 lines (repeat 2), offset 0, 1 bytes\n"
            "        43  PRINT_LINES   1 line (repeat 0), offset 1, 1 bytes\n"
            "        50  PAGE_END\n"
            "            page 1: 6 lines, 26 dots, 54 bytes\n"
            "1 page, 54 bytes\n");
}

TEST_F(Decode, InvalidStreamsAreErrorsAtTheirOffset) {
  const std::string page = Page();
  struct Case {
    std::string stream;
    std::string message;
  } cases[] = {
      {page + Bytes({0x00}), "offset 38: expected package head 1F, found 00"},
      {page + Bytes({0x1F, 0x30, 0x00, 0x88}), "offset 39: unknown command 30"},
      {page.substr(0, 4) + Bytes({0x1F, 0x22, 0x02, 0xC0, 0x05, 0x88}) + page.substr(4),
       "offset 7: line count C0 05 is out of range: 5 takes one byte"},
      {page.substr(0, 4) + Bytes({0x1F, 0x27, 0xC0, 0x01, 0x02, 0x88}),
       "offset 6: package length C0 01 is out of range"},
      {page.substr(0, 24), "offset 20: truncated package: 3 of its 7 bytes are missing"},
      {page.substr(0, 8) + Bytes({0x77}) + page.substr(9), "offset 8: expected package tail 88, found 77"},
      {Bytes({0x1F, 0x22, 0x01, 0x01, 0x88}) + page, "offset 0: FEED_LINES outside a page"},
      {page + Bytes({0x1F, 0x21, 0x03, 0x00, 0x00, 0x01, 0x88}), "offset 38: PRINT_LINES outside a page"},
      {page.substr(0, 34), "offset 34: stream ends inside page 1"},
      {page.substr(0, 4) + page, "offset 4: PAGE_BEGIN inside page 1"},
      {page.substr(0, 20) + Bytes({0x1F, 0x43, 0x01, 0x05, 0x88}) + page.substr(20),
       "offset 20: DARKNESS after the lines of page 1"},
      {page.substr(0, 15) + Bytes({0x1F, 0x43, 0x01, 0x0F, 0x88}) + page.substr(15),
       "offset 18: DARKNESS 15 is out of range 0 to 14"},
      {page.substr(0, 4) + Bytes({0x1F, 0x27, 0x01, 0x49, 0x88}),
       "offset 7: line width of 73 bytes is out of range"},
      {page.substr(0, 20) + Bytes({0x1F, 0x21, 0x03, 0x00, 0x48, 0x01, 0x88}) + page.substr(20),
       "offset 24: print line reaches byte 73, past the 72 bytes of a line"},
      {page.substr(0, 4) + Bytes({0x1F, 0x20, 0x01, 0x00, 0x88}),
       "offset 7: PAGE_BEGIN carries 1 payload bytes"},
      {"", "the stream holds no page"},
  };
  for (const Case& c : cases) {
    WriteFile(Path("out.png"), "earlier");
    RunResult r = DecodeBytes(c.stream);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_NE(r.err.find(Path("in.qxvn") + ": " + c.message), std::string::npos)
        << c.message << " -> " << r.err;
    EXPECT_EQ(ReadFile(Path("out.png")), "earlier");
    EXPECT_FALSE(Exists(Path("out-1.png")));
    if (!c.stream.empty()) {
      EXPECT_EQ(RunQxvn({"dump", Path("in.qxvn")}).status, 1);
    }
  }
}

TEST_F(Decode, LinesPastTheLineWidthAreWarningsAndDrawnInFull) {
  // Header says 1 byte; the print line covers bytes 0 and 1.
  std::string stream =
      Bytes({0x1F, 0x20, 0x00, 0x88, 0x1F, 0x27, 0x01, 0x01, 0x88, 0x1F, 0x25, 0x02, 0x09, 0x00,
             0x88, 0x1F, 0x21, 0x04, 0x00, 0x00, 0xFF, 0x80, 0x88, 0x1F, 0x28, 0x00, 0x88});
  RunResult r = DecodeBytes(stream);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: " + Path("in.qxvn") +
                       ": offset 15: print line reaches byte 2, past the line width of 1 bytes"),
            std::string::npos)
      << r.err;
  Bitmap page = ReadPreview(Path("out.png"));
  ASSERT_EQ(page.width, 16u);
  EXPECT_TRUE(page.At(8, 0));
  EXPECT_FALSE(page.At(9, 0));

  // A wrong dot limit is a warning too: the dots of the lines are counted independently.
  std::string wrongLimit = stream;
  wrongLimit[12] = 0x08;
  r = DecodeBytes(wrongLimit);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("announces at most 8 dots on a line, its lines have up to 9"), std::string::npos)
      << r.err;
}

TEST_F(Decode, UsageErrors) {
  WriteFile(Path("in.qxvn"), Page() + Page());
  EXPECT_EQ(RunQxvn({"decode", Path("in.qxvn")}).status, 2);
  EXPECT_EQ(RunQxvn({"decode", "-o", Path("x.png")}).status, 2);
  EXPECT_EQ(RunQxvn({"decode", Path("in.qxvn"), "-o", "-"}).status, 2)
      << "two pages do not fit standard output";
  EXPECT_EQ(RunQxvn({"dump"}).status, 2);
  RunResult missing = RunQxvn({"dump", Path("none.qxvn")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace qxtest
