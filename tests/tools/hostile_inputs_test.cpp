// Inputs and outputs a hostile user or a failing machine hands qxvn: pipes, headers that claim
// far more than they hold, large printer data, tall streams, odd output targets, full outputs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <thread>

#include "tests/tools/test_images.h"
#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

std::string BigEndian(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string PngChunk(const std::string& type, const std::string& data, uint32_t declaredLength) {
  std::string body = type + data;
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return BigEndian(declaredLength) + body + BigEndian(static_cast<uint32_t>(crc));
}

// A PNG signature and header of the given size and colour type (8 bits), then `rest`.
std::string PngHead(uint32_t width, uint32_t height, int colourType, int interlace, const std::string& rest) {
  std::string ihdr = BigEndian(width) + BigEndian(height) +
                     std::string{8, static_cast<char>(colourType), 0, 0, static_cast<char>(interlace)};
  return std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr, 13) + rest;
}

// A one-page PDF whose page box is `points` square, with a valid cross-reference table.
std::string SquarePdf(int points) {
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " +
                                          std::to_string(points) + " " + std::to_string(points) + "] >>"};
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  size_t xref = pdf.size();
  pdf += "xref\n0 4\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

// A stream of one page 16 dots wide: `blank` feed lines, then one print line.
std::string TallStream(uint32_t blank) {
  auto b = [](std::initializer_list<int> v) {
    std::string s;
    for (int c : v) s += static_cast<char>(c);
    return s;
  };
  std::string s =
      b({0x1F, 0x20, 0x00, 0x88, 0x1F, 0x27, 0x01, 0x02, 0x88, 0x1F, 0x25, 0x02, 0x08, 0x05, 0x88});
  // A feed package carries its line count less one.
  while (blank > 0) {
    uint32_t k = std::min<uint32_t>(blank, 0x4000);
    blank -= k;
    const int n = static_cast<int>(k - 1);
    s += n >= 192 ? b({0x1F, 0x22, 0x02, 0xC0 | (n >> 8), n & 0xFF, 0x88}) : b({0x1F, 0x22, 0x01, n, 0x88});
  }
  return s + b({0x1F, 0x21, 0x03, 0x00, 0x00, 0xFF, 0x88, 0x1F, 0x28, 0x00, 0x88});
}

class HostileInputs : public ToolTest {
 protected:
  // A shell prefix that runs qxvn with `producer`'s output on its standard input.
  static std::string FromPipe(const std::string& producer) {
    return "sh -c 'shift; " + producer + R"( | "$@"' x)";
  }
  RunResult Print(const std::string& input, const std::vector<std::string>& extra = {},
                  const std::string& prefix = "") {
    std::vector<std::string> args = {"print", input, "-o", Path("out.qxvn")};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunQxvn(args, prefix);
  }
  RunResult Dump(const std::string& stream) { return RunQxvn({"dump", stream}); }
};

// A pipe is read once, whole: the bytes read to tell the format are not lost, and every format
// prints from a pipe as it does from the file.
TEST_F(HostileInputs, PipesAndStandardInputPrintAsTheFileDoes) {
  WriteFile(Path("big.ppm"), PnmBytes(PatternImage(200, 200, ColourPalette(), 5), '6'));
  WriteFile(Path("small.ppm"), PnmBytes(PatternImage(3, 2, ColourPalette(), 6), '6'));
  WritePngFile(Path("a.png"), PatternImage(40, 30, ColourPalette(), 7), PngKind::Rgba);
  WriteFile(Path("a.pdf"), ReadFile(std::string(QXVN_EXAMPLES) + "/shipping-label.pdf"));
  for (const char* name : {"big.ppm", "small.ppm", "a.png", "a.pdf"}) {
    ASSERT_EQ(Print(Path(name)).status, 0) << name;
    const std::string expected = ReadFile(Path("out.qxvn"));
    for (const std::string input : {"-", "/dev/stdin"}) {
      RunResult r = Print(input, {}, FromPipe("cat \"" + Path(name) + "\""));
      ASSERT_EQ(r.status, 0) << name << " " << input << ": " << r.err;
      EXPECT_EQ(ReadFile(Path("out.qxvn")), expected) << name << " " << input;
    }
  }
  RunResult r = Print("-", {}, FromPipe("printf \"P5 2\""));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("standard input: the header's height is missing"), std::string::npos) << r.err;
}

TEST_F(HostileInputs, ACommentAfterTheMaximumValueIsNoPixelData) {
  WriteFile(Path("c.pgm"), std::string("P5 2 2 255#c\n\xff\xff\xff\xff", 17));
  ASSERT_EQ(Print(Path("c.pgm")).status, 0);
  RunResult r = Dump(Path("out.qxvn"));
  EXPECT_NE(r.out.find("2 lines, 0 dots"), std::string::npos) << r.out;
  WriteFile(Path("x.pgm"), std::string("P5 2 2 255x\xff\xff\xff\xff", 15));
  r = Print(Path("x.pgm"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("must end in one whitespace byte"), std::string::npos) << r.err;
}

// Headers that claim huge pages are refused by the limit before anything is allocated for them;
// the limit is an option.
TEST_F(HostileInputs, DeclaredSizesAreCheckedAgainstTheLimitFirst) {
  const std::string overLimit = "over the limit of 100000000 pixels a page";
  struct Case {
    const char* name;
    std::string bytes;
    std::string cause;
  } cases[] = {
      {"interlaced.png", PngHead(60000, 60000, 6, 1, PngChunk("IDAT", "x", 1)), overLimit},
      {"truncated.png", PngHead(26001, 27000, 2, 0, PngChunk("IDAT", "", 0)), overLimit},
      {"text.png", PngHead(10, 10, 2, 0, PngChunk("tEXt", "a", 0x7FFFFFF0)), "cannot decode PNG"},
      {"page.pdf", SquarePdf(6400), overLimit},
  };
  for (const Case& c : cases) {
    WriteFile(Path(c.name), c.bytes);
    RunResult r = Print(Path(c.name));
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_NE(r.err.find(c.cause), std::string::npos) << c.name << ": " << r.err;
  }
  // With the limit raised, the PDF renderer's own bitmap still counts.
  RunResult r = Print(Path("page.pdf"), {"--max-pixels", "4000000000"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("rendering it takes more than"), std::string::npos) << r.err;
  // And a small limit refuses an ordinary page.
  WriteFile(Path("small.ppm"), PnmBytes(PatternImage(30, 20, ColourPalette(), 6), '6'));
  r = Print(Path("small.ppm"), {"--max-pixels", "599"});
  EXPECT_NE(r.err.find("a page of 30 x 20 pixels is over the limit of 599"), std::string::npos) << r.err;
  EXPECT_EQ(Print(Path("small.ppm"), {"--max-pixels", "600"}).status, 0);
}

TEST_F(HostileInputs, ManyPrinterValuesAndTheLaterOneWins) {
  std::string reg = "REGEDIT4\n";
  for (int i = 0; i < 100000; ++i) reg += "\"Value" + std::to_string(i) + "\"=dword:00000001\n";
  reg += "\"grayTHRESHOLD\"=dword:00000001\n\"GrayThreshold\"=dword:000000fe\n\"value7\"=-\n";
  WriteFile(Path("many.reg"), reg);
  WriteFile(Path("gray.ppm"), PnmBytes(PatternImage(8, 1, {{200, 200, 200}}, 1), '6'));
  RunResult r = Print(Path("gray.ppm"), {"--printer-data", Path("many.reg")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(Dump(Path("out.qxvn")).out.find("1 lines, 8 dots"), std::string::npos)
      << "threshold 254 prints gray 200";
}

TEST_F(HostileInputs, APageOfMoreThanAMillionLinesIsDecoded) {
  WriteFile(Path("tall.qxvn"), TallStream(1'000'000));
  RunResult r = RunQxvn({"decode", Path("tall.qxvn"), "-o", Path("tall.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadPreview(Path("tall.png")).height, 1'000'001u);
}

// The output is written through a device or pipe, and a link's target is replaced, never the
// link itself.
TEST_F(HostileInputs, OutputsThatAreNoRegularFileAreNotReplaced) {
  WriteFile(Path("a.ppm"), PnmBytes(PatternImage(20, 10, ColourPalette(), 2), '6'));
  ASSERT_EQ(Print(Path("a.ppm")).status, 0);
  const std::string stream = ReadFile(Path("out.qxvn"));

  WriteFile(Path("target"), "old");
  ASSERT_EQ(symlink("target", Path("link").c_str()), 0);
  ASSERT_EQ(RunQxvn({"print", Path("a.ppm"), "-o", Path("link")}).status, 0);
  struct stat st {};
  ASSERT_EQ(lstat(Path("link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(Path("target")), stream);

  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
  RunResult r =
      RunQxvn({"print", Path("a.ppm"), "-o", Path("fifo")},
              "(cat '" + Path("fifo") + "' > '" + Path("got") + "'; touch '" + Path("done") + "') &");
  EXPECT_EQ(r.status, 0) << r.err;
  for (int i = 0; i < 500 && !Exists(Path("done")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ReadFile(Path("got")), stream);
  ASSERT_EQ(lstat(Path("fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  r = RunQxvn({"print", Path("a.ppm"), "-o", "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("writing /dev/full failed: No space left on device"), std::string::npos) << r.err;
  ASSERT_EQ(stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(HostileInputs, StandardOutputIsWrittenAsTheJobGoesAndAFileThereIsCutBackOnFailure) {
  WriteFile(Path("a.ppm"), PnmBytes(PatternImage(20, 10, ColourPalette(), 2), '6'));
  ASSERT_EQ(Print(Path("a.ppm")).status, 0);
  const std::string stream = ReadFile(Path("out.qxvn"));
  WritePngFile(Path("b.png"), PatternImage(20, 10, ColourPalette(), 3), PngKind::Rgb8);
  const std::string png = ReadFile(Path("b.png"));
  WriteFile(Path("cut.png"), png.substr(0, png.size() - 20));  // fails when its page is reached

  const std::string appendTo = "sh -c 'shift; exec \"$@\" >>" + Path("kept") + "' x";
  WriteFile(Path("kept"), "earlier\n");
  EXPECT_EQ(RunQxvn({"print", Path("a.ppm"), "-o", "-"}, appendTo).status, 0);
  EXPECT_EQ(ReadFile(Path("kept")), "earlier\n" + stream);
  WriteFile(Path("kept"), "earlier\n");
  RunResult r = RunQxvn({"print", Path("a.ppm"), Path("cut.png"), "-o", "-"}, appendTo);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ReadFile(Path("kept")), "earlier\n") << "the first page was written, then taken back";
}

TEST_F(HostileInputs, DecodeStoppedByASignalLeavesNoTemporaryFile) {
  std::string page = TallStream(1);
  std::string many;
  for (int i = 0; i < 100000; ++i) many += page;
  WriteFile(Path("many.qxvn"), many);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::freopen("/dev/null", "w", stderr);
    execl(QXVN_PATH, QXVN_PATH, "decode", Path("many.qxvn").c_str(), "-o", Path("p.png").c_str(), nullptr);
    _exit(127);
  }
  auto hidden = [&] {
    for (const std::string& name : ListDir(Dir()))
      if (name[0] == '.') return true;
    return false;
  };
  for (int i = 0; i < 2000 && !hidden(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_FALSE(hidden());
}

TEST_F(HostileInputs, AFullOrClosedStandardOutputFailsTheCommand) {
  WriteFile(Path("s.qxvn"), TallStream(3));
  const std::string toFull = "sh -c 'shift; exec \"$@\" >/dev/full' x";
  const std::string closed = "sh -c 'shift; exec \"$@\" >&-' x";
  for (const std::string& prefix : {toFull, closed}) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{"dump", Path("s.qxvn")}, std::vector<std::string>{"--help"},
          std::vector<std::string>{"dump", "--help"}}) {
      RunResult r = RunQxvn(args, prefix);
      EXPECT_EQ(r.status, 1) << prefix << " " << args[0];
      EXPECT_NE(r.err.find("writing to standard output failed"), std::string::npos) << r.err;
    }
  }
}

}  // namespace
}  // namespace qxtest
