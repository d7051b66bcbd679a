// A failed print says why in one line, exits non-zero and leaves OUT as it was.
#include <gtest/gtest.h>

#include "tests/tools/test_images.h"
#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

class PrintFailures : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    WriteFile(Path("good.ppm"), PnmBytes(PatternImage(64, 64, ColourPalette(), 3), '6'));
    WriteFile(Path("out.qxvn"), "the earlier stream");
  }

  // Prints `inputs` to out.qxvn, expects failure with `cause` in the one line on standard error.
  void ExpectFails(const std::vector<std::string>& inputs, const std::string& cause,
                   const std::string& prefix = "") {
    std::vector<std::string> args = {"print"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.insert(args.end(), {"-o", Path("out.qxvn")});
    RunResult r = RunQxvn(args, prefix);
    EXPECT_EQ(r.status, 1) << cause;
    EXPECT_NE(r.err.find(cause), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(ReadFile(Path("out.qxvn")), "the earlier stream");
    EXPECT_EQ(ListDir(Dir()).size(), m_files) << "no temporary file is left behind";
  }

  size_t m_files = 0;
};

TEST_F(PrintFailures, UnreadableAndUnsupportedInputs) {
  std::string png = ReadFile(Path("good.ppm"));
  WriteFile(Path("notes.txt"), "just some text\n");
  WriteFile(Path("empty.png"), "");
  std::string truncatedPpm = png.substr(0, png.size() - 10);
  WriteFile(Path("short.ppm"), truncatedPpm);
  WriteFile(Path("huge.pgm"), "P5 100000 100000 255\n\x01");
  WriteFile(Path("over.pgm"), "P2 2 1 15 3 16\n");
  WritePngFile(Path("good.png"), PatternImage(30, 30, ColourPalette(), 4), PngKind::Rgb8);
  std::string pngBytes = ReadFile(Path("good.png"));
  WriteFile(Path("cut.png"), pngBytes.substr(0, pngBytes.size() / 2));
  WriteFile(Path("broken.pdf"), "%PDF-1.4\nnothing else\n");
  m_files = ListDir(Dir()).size();

  ExpectFails({Path("missing.png")}, "cannot read " + Path("missing.png") + ": No such file or directory");
  ExpectFails({Dir()}, "cannot read " + Dir());
  ExpectFails({Path("notes.txt")}, Path("notes.txt") + ": unsupported format");
  ExpectFails({Path("empty.png")}, Path("empty.png") + ": unsupported format");
  ExpectFails({Path("good.ppm"), Path("short.ppm")}, Path("short.ppm") + ": truncated image data");
  ExpectFails({Path("huge.pgm")}, Path("huge.pgm") + ": truncated image data");
  ExpectFails({Path("over.pgm")}, Path("over.pgm") + ": sample 16 is above maxval 15");
  ExpectFails({Path("cut.png")}, Path("cut.png") + ": cannot decode PNG");
  ExpectFails({Path("broken.pdf")}, Path("broken.pdf") + ": cannot open the PDF document");
}

TEST_F(PrintFailures, AFailedWriteOfTheStreamLeavesOutUntouched) {
  m_files = ListDir(Dir()).size();
  // A file size limit of 1 KiB makes the writing of the stream (about 5 KiB) fail part way.
  ExpectFails({Path("good.ppm")}, "writing " + Path("out.qxvn") + " failed: File too large", "ulimit -f 1;");
  RunResult r = RunQxvn({"print", Path("good.ppm"), "-o", Path("no/such/dir/out.qxvn")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write " + Path("no/such/dir/out.qxvn")), std::string::npos) << r.err;
}

TEST_F(PrintFailures, AFailureToWriteTheTraceFailsTheJob) {
  m_files = ListDir(Dir()).size();
  ExpectFails({Path("good.ppm"), "--trace", Path("no/dir/job.trace")}, "cannot write the trace file");
}

}  // namespace
}  // namespace qxtest
