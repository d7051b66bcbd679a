// What reading a document may cost: a hostile PDF or PNG is refused within the budget, saying
// so, and the budget's options and its renderer's failures are reported as such.
#include <gtest/gtest.h>

#include "tests/tools/hostile_documents.h"
#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

// Address space is not limited under AddressSanitizer, whose shadow memory reserves terabytes.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

class DocumentBudget : public ToolTest {
 protected:
  // qxvn and the renderer it starts held to 1 GiB of address space together with everything
  // they map: far less than the gigabytes these documents ask for.
  static std::string Bounded() { return kSanitized ? "" : "ulimit -v 1048576;"; }
};

TEST_F(DocumentBudget, HostileDocumentsAreRefusedWithinTheBudget) {
  WriteFile(Path("object.pdf"), HugeObjectNumberPdf());
  WriteFile(Path("text.png"), HugeTextChunkPng());
  ASSERT_EQ(ReadFile(Path("text.png")).size(), 141u);

  RunResult r = RunQxvn({"print", Path("text.png"), "-o", Path("out.qxvn")}, Bounded());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(
      r.err.find("text.png: cannot decode PNG: the file ends early: the chunk at byte 33 claims 2147483632 "
                 "bytes, 96 are left"),
      std::string::npos)
      << r.err;

  // From a file, and from a pipe (whose bytes the renderer reads from memory).
  const std::string fifo = Path("fifo");
  for (const std::string& input : {Path("object.pdf"), fifo}) {
    SCOPED_TRACE(input);
    const std::string pipe =
        input == fifo ? "mkfifo " + fifo + "; cat " + Path("object.pdf") + " >" + fifo + " &" : "";
    r = RunQxvn({"print", input, "-o", Path("out.qxvn")}, Bounded() + pipe);
    EXPECT_EQ(r.status, 1);
    // The PDF library frees its table twice once an allocation fails: the renderer aborts (under
    // AddressSanitizer, which reports it, it exits with a failure instead).
    EXPECT_NE(r.err.find(kSanitized ? "budget of 512 MiB and 20 s a document"
                                    : "most likely over the memory budget of 512 MiB and 20 s a document"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  r = RunQxvn({"print", Path("object.pdf"), "--max-memory", "256", "-o", Path("out.qxvn")}, Bounded());
  EXPECT_NE(r.err.find("budget of 256 MiB"), std::string::npos) << r.err;
  EXPECT_FALSE(Exists(Path("out.qxvn")));
}

TEST_F(DocumentBudget, TheRendererIsStoppedAtTheDeadlineAndItsAnswerChecked) {
  const std::string pdf = std::string(QXVN_EXAMPLES) + "/shipping-label.pdf";
  // A renderer that never answers: `sleep` of all its arguments' seconds.
  RunResult r = RunQxvn({"print", pdf, "--max-seconds", "1", "-o", Path("out.qxvn")},
                        "export QXVN_PDF_RENDERER=/bin/sleep;");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(
      r.err.find(
          "shipping-label.pdf: reading the PDF document takes longer than the budget of 512 MiB and 1 s"),
      std::string::npos)
      << r.err;
  // One that answers something else, endlessly; one whose answer ends early.
  r = RunQxvn({"print", pdf, "-o", Path("out.qxvn")}, "export QXVN_PDF_RENDERER=/usr/bin/yes;");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("answered something else than a page"), std::string::npos) << r.err;
  r = RunQxvn({"print", pdf, "-o", Path("out.qxvn")}, "export QXVN_PDF_RENDERER=/bin/echo;");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the PDF renderer's answer ends early"), std::string::npos) << r.err;
  // One that is not there.
  r = RunQxvn({"print", pdf, "-o", Path("out.qxvn")}, "export QXVN_PDF_RENDERER=/nonexistent/renderer;");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot start the PDF renderer /nonexistent/renderer"), std::string::npos) << r.err;
  EXPECT_FALSE(Exists(Path("out.qxvn")));

  // Within a larger budget the label prints as it does by default.
  r = RunQxvn({"print", pdf, "-o", Path("default.qxvn")});
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunQxvn({"print", pdf, "--max-memory", "2048", "--max-seconds", "60", "-o", Path("large.qxvn")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(Path("default.qxvn")), ReadFile(Path("large.qxvn")));
}

TEST_F(DocumentBudget, AnA4PageNeedsMoreThanTheSmallestBudget) {
  // The library repairs a PDF without a cross-reference table.
  WriteFile(
      Path("a4.pdf"),
      "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[3 0 R]/Count "
      "1>>endobj\n"
      "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n");
  RunResult r = RunQxvn({"print", Path("a4.pdf"), "--max-memory", "64", "-o", Path("small.qxvn")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("page 1 at 300 dpi needs about 98 MiB to render, over the memory budget of 64 MiB"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(Exists(Path("small.qxvn")));
  r = RunQxvn({"print", Path("a4.pdf"), "-o", Path("default.qxvn")});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(DocumentBudget, BudgetOptionsOutOfRangeAreUsageErrors) {
  const std::string pdf = std::string(QXVN_EXAMPLES) + "/shipping-label.pdf";
  for (const auto& [option, value] :
       std::vector<std::pair<std::string, std::string>>{{"--max-memory", "63"},
                                                        {"--max-memory", "x"},
                                                        {"--max-seconds", "0"},
                                                        {"--max-seconds", "86401"}}) {
    RunResult r = RunQxvn({"print", pdf, option, value, "-o", Path("out.qxvn")});
    EXPECT_EQ(r.status, 2) << option << " " << value;
    EXPECT_NE(r.err.find(option), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace qxtest
