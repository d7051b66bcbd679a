// qxvn print holds one page at a time: a long document prints in the memory of one page, and a
// page that cannot be decoded part way stops the job.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "tests/tools/test_images.h"
#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

// An A4 page at 300 dpi: white, with a black frame and a few bars to print.
constexpr uint32_t kA4Width = 2480, kA4Height = 3508;
constexpr long kA4PageKib = long{kA4Width} * kA4Height * 3 / 1024;

void WriteA4Ppm(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "P6 " << kA4Width << " " << kA4Height << " 255\n";
  std::string row(size_t{kA4Width} * 3, '\xFF');
  for (uint32_t y = 0; y < kA4Height; ++y) {
    const bool frame = y < 40 || y >= kA4Height - 40;
    const bool bars = y % 400 < 120;
    for (uint32_t x = 0; x < kA4Width; ++x) {
      const bool black = frame || x < 40 || x >= kA4Width - 40 || (bars && x % 160 < 60);
      std::fill_n(row.begin() + x * 3, 3, black ? '\0' : '\xFF');
    }
    out.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
}

// Runs qxvn with `args` and returns its peak resident memory in KiB, or -1 when it failed.
long PeakKib(const std::vector<std::string>& args) {
  std::vector<std::string> words = {QXVN_PATH};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class PrintMemory : public ToolTest {};

TEST_F(PrintMemory, ALongDocumentNeedsTheMemoryOfOnePage) {
  WriteA4Ppm(Path("a4.ppm"));
  const std::string page = Path("a4.ppm");
  const long one = PeakKib({"print", page, "-o", Path("one.qxvn")});
  ASSERT_GT(one, 0);
  // Six inputs, and three inputs whose collated copies replay the document twice.
  const long six = PeakKib({"print", page, page, page, page, page, page, "-o", Path("six.qxvn")});
  const long replayed =
      PeakKib({"print", page, page, page, "--copies", "2", "--collate", "-o", Path("replayed.qxvn")});
  ASSERT_GT(six, 0);
  ASSERT_GT(replayed, 0);
  // Holding every page (or every mapped input) would add a page's worth or more per page.
  EXPECT_LT(six - one, kA4PageKib / 2) << "one page: " << one << " KiB, six: " << six << " KiB";
  EXPECT_LT(replayed - one, kA4PageKib / 2)
      << "one page: " << one << " KiB, replayed: " << replayed << " KiB";
}

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
