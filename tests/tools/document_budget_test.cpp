// What reading a document may cost: a hostile PDF or PNG is refused within the budget, saying
// so, and the budget's options and its renderer's failures are reported as such.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// Pages of `points` x 36 points, each drawn by its content stream (none: a blank page).
std::string PdfOfPages(const std::vector<std::pair<int, std::string>>& pages) {
  std::string pdf = "%PDF-1.4\n", kids;
  std::vector<size_t> offsets;
  auto object = [&](const std::string& body) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
  };
  for (size_t i = 0; i < pages.size(); ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
  object("<< /Type /Catalog /Pages 2 0 R >>");
  object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
  for (size_t i = 0; i < pages.size(); ++i) {
    const auto& [points, content] = pages[i];
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(points) + " 36] /Contents " +
           std::to_string(4 + 2 * i) + " 0 R >>");
    object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream");
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    pdf += entry;
  }
  return pdf + "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
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
  // One that stops in the middle of the document: its second page is cut off.
  WriteFile(Path("two.pdf"), PdfOfPages({{72, "0 g 0 0 40 36 re f\n"}, {72, "0.5 g 0 0 40 36 re f\n"}}));
  WriteFile(Path("cut"), std::string("#!/usr/bin/env python3\nimport os, subprocess, sys\n") +
                             "renderer = subprocess.Popen(['" + QXVN_PDF_RENDERER_PATH +
                             "'] + sys.argv[1:], stdout=subprocess.PIPE, close_fds=False)\n"
                             "left = 200000\nwhile left > 0:\n"
                             "    data = os.read(renderer.stdout.fileno(), min(left, 65536))\n"
                             "    if not data: break\n    os.write(1, data)\n    left -= len(data)\n"
                             "renderer.kill()\nrenderer.wait()\n");
  r = RunQxvn({"print", Path("two.pdf"), "--dpi", "1200", "-o", Path("out.qxvn")},
              "chmod +x " + Path("cut") + "; export QXVN_PDF_RENDERER=" + Path("cut") + ";");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("two.pdf: the PDF renderer's answer ends early"), std::string::npos) << r.err;
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

// Black and white, gray, colour and blank pages, one of another size, each travel from the
// renderer in their own way: every page prints as the PDF library's own tool draws it, and one
// renderer draws the whole document, also when it is laid out and replayed for collated copies.
TEST_F(DocumentBudget, OneRendererDrawsEveryPageOfTheDocumentExactly) {
  WriteFile(Path("doc.pdf"), PdfOfPages({{72, "0 g 0 0 40 36 re f\n"},
                                         {72, "0.5 g 10 0 40 30 re f 0 g 5 5 m 60 30 l S\n"},
                                         {72, "1 0 0 rg 0 0 30 20 re f 0 0 1 rg 30 10 30 20 re f\n"},
                                         {72, ""},
                                         {144, "0 g 50 0 50 36 re f\n"}}));
  const std::string starts = Path("starts");
  WriteFile(Path("renderer"),
            "#!/bin/sh\necho >>" + starts + "\nexec " + QXVN_PDF_RENDERER_PATH + " \"$@\"\n");
  const std::string counted =
      "chmod +x " + Path("renderer") + "; export QXVN_PDF_RENDERER=" + Path("renderer") + ";";
  ASSERT_EQ(
      std::system(("pdftoppm -r 150 -aa no -aaVector no " + Path("doc.pdf") + " " + Path("page")).c_str()),
      0);
  for (const std::string bpp : {"24", "32"}) {
    SCOPED_TRACE(bpp);
    std::vector<std::string> drawn = {"print"};
    for (int page = 1; page <= 5; ++page) drawn.push_back(Path("page-" + std::to_string(page) + ".ppm"));
    drawn.insert(drawn.end(), {"--bpp", bpp, "--copies", "2", "--collate", "-o", Path("drawn.qxvn")});
    ASSERT_EQ(RunQxvn(drawn).status, 0);
    WriteFile(starts, "");
    RunResult r = RunQxvn({"print", Path("doc.pdf"), "--dpi", "150", "--bpp", bpp, "--copies", "2",
                           "--collate", "-o", Path("doc.qxvn")},
                          counted);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ReadFile(Path("doc.qxvn")) == ReadFile(Path("drawn.qxvn")));
    EXPECT_EQ(ReadFile(starts), "\n");
  }
  WriteFile(starts, "");
  RunResult r = RunQxvn({"print", Path("doc.pdf"), "--paper", "48x76", "--scaling", "fit", "--copies", "2",
                         "--collate", "-o", Path("laid.qxvn")},
                        counted);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(starts), "\n");
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
