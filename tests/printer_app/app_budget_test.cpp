// The app under hostile documents arriving at once: each is refused within the document budget
// with a message that says so, the app stays small and up, and the other jobs print. And what
// a printed job leaves in the log: one line a page, the plug-in's own lines at debug level.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/printer_app/app_samples.h"
#include "tests/printer_app/app_server.h"
#include "tests/tools/hostile_documents.h"
#include "tests/tools/test_images.h"

namespace qxtest {
namespace {

namespace fs = std::filesystem;

std::string JobStateMessage(const std::string& uri, int id) {
  return RunIpptool(uri,
                    "  OPERATION Get-Job-Attributes\n  GROUP operation-attributes-tag\n"
                    "  ATTR charset attributes-charset utf-8\n"
                    "  ATTR naturalLanguage attributes-natural-language en\n"
                    "  ATTR uri printer-uri $uri\n  ATTR integer job-id " +
                        std::to_string(id) + "\n")
      .Value("job-state-message");
}

// Peak resident memory of a process, in KiB.
long PeakKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

class AppBudget : public ::testing::Test {
 protected:
  void SetUp() override { m_dir = FreshTestFolder(); }
  std::string m_dir;
};

TEST_F(AppBudget, HostileDocumentsAtOnceAreRefusedAndOtherJobsPrint) {
  const std::string pdf = m_dir + "/object.pdf", png = m_dir + "/text.png", good = m_dir + "/label.png";
  std::ofstream(pdf, std::ios::binary) << HugeObjectNumberPdf();
  std::ofstream(png, std::ios::binary) << HugeTextChunkPng();
  WritePngFile(good, LabelPattern(false), PngKind::Gray8);
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());

  struct Job {
    std::string name, file, format;
    int id = 0;
  };
  std::vector<Job> jobs;
  for (int n = 0; n < 3; ++n) {
    jobs.push_back({"pdf" + std::to_string(n), pdf, "application/pdf"});
    jobs.push_back({"png" + std::to_string(n), png, "image/png"});
    jobs.push_back({"good" + std::to_string(n), good, "image/png"});
  }
  std::vector<std::thread> clients;
  for (Job& job : jobs)
    clients.emplace_back([&app, &job] { job.id = PrintJob(app.Uri(), job.file, job.format, job.name); });
  for (std::thread& client : clients) client.join();

  const std::string expected = QxvnPrint(good + DefaultSettings());
  ASSERT_FALSE(expected.empty());
  for (const Job& job : jobs) {
    SCOPED_TRACE(job.name);
    ASSERT_GT(job.id, 0);
    const std::string state = WaitForJob(app.Uri(), job.id, 60);
    if (job.name.rfind("good", 0) == 0) {
      EXPECT_EQ(state, "completed") << app.Log();
      EXPECT_TRUE(ReadFile(app.OutputFile(job.id, job.name)) == expected);
    } else {
      EXPECT_EQ(state, "aborted");
      const std::string message = JobStateMessage(app.Uri(), job.id);
      EXPECT_NE(
          message.find(job.format == "image/png" ? "the file ends early" : "budget of 512 MiB and 20 s"),
          std::string::npos)
          << message;
    }
  }
  EXPECT_LT(PeakKib(app.Pid()), 200 * 1024) << "the app's own memory, in KiB";
  const int after = PrintJob(app.Uri(), good, "image/png", "after");
  EXPECT_EQ(WaitForJob(app.Uri(), after), "completed");
}

// A PDF job does not start a renderer: the one the app keeps ready forks one for the document,
// which draws the whole document and its collated copies, and stays ready for the next. One that
// has died is replaced, and the job that finds it dead starts a renderer of its own.
TEST_F(AppBudget, APdfJobIsDrawnByTheRendererKeptReady) {
  const std::string starts = m_dir + "/starts", renderer = m_dir + "/renderer", pdf = m_dir + "/two.pdf";
  const std::string sparePid = m_dir + "/spare.pid";
  // Each start leaves a line: "spare" for one started ahead, empty for a document's own.
  std::ofstream(renderer) << "#!/bin/sh\necho \"$4\" >>" << starts << "\n[ \"$4\" = spare ] && echo $$ >"
                          << sparePid << "\nexec " << QXVN_PDF_RENDERER_PATH << " \"$@\"\n";
  fs::permissions(renderer, fs::perms::owner_all);
  WriteTwoPagePdf(pdf);
  setenv("QXVN_PDF_RENDERER", renderer.c_str(), 1);
  AppServer app(m_dir + "/state");
  const bool started = app.Start();
  unsetenv("QXVN_PDF_RENDERER");
  ASSERT_TRUE(started);
  for (int i = 0; i < 100 && ReadFile(starts).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ReadFile(starts), "spare\n");
  for (const std::string name : {"two", "again"}) {
    const int id = PrintJob(app.Uri(), pdf, "application/pdf", name, "  ATTR integer copies 2\n");
    ASSERT_EQ(WaitForJob(app.Uri(), id), "completed") << app.Log();
    EXPECT_FALSE(ReadFile(app.OutputFile(id, name)).empty());
  }
  EXPECT_EQ(ReadFile(starts), "spare\n");

  ASSERT_EQ(kill(std::stoi(ReadFile(sparePid)), SIGKILL), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const int id = PrintJob(app.Uri(), pdf, "application/pdf", "after");
  ASSERT_EQ(WaitForJob(app.Uri(), id), "completed") << app.Log();
  for (int i = 0; i < 100 && ReadFile(starts) != "spare\n\nspare\n"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ReadFile(starts), "spare\n\nspare\n");
  // What the dead spare had forked ahead is waited for, not left a zombie of the app's.
  std::string zombies;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(app.Pid()) + "/task")) {
    std::istringstream children(ReadFile(task.path().string() + "/children"));
    for (std::string child; children >> child;) {
      const std::string stat = ReadFile("/proc/" + child + "/stat");
      if (stat.find(") Z") != std::string::npos) zombies += stat + "\n";
    }
  }
  EXPECT_EQ(zombies, "");
}

TEST_F(AppBudget, TheBudgetIsSetOnTheCommandLine) {
  // An A4 page at 300 dpi needs about 98 MiB to render: within the default, over 64 MiB.
  const std::string a4 = m_dir + "/a4.pdf";
  std::ofstream(a4, std::ios::binary)
      << "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[3 0 R]/Count "
         "1>>endobj\n"
         "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n";
  AppServer app(m_dir + "/state", {}, {"--max-memory", "64", "--max-seconds", "5"});
  ASSERT_TRUE(app.Start());
  // At its own size: laid out on the label, the page is drawn far smaller.
  const int id = PrintJob(app.Uri(), a4, "application/pdf", "a4", "  ATTR keyword print-scaling none\n");
  ASSERT_EQ(WaitForJob(app.Uri(), id), "aborted");
  const std::string message = JobStateMessage(app.Uri(), id);
  EXPECT_NE(message.find("needs about 98 MiB to render, over the memory budget of 64 MiB"), std::string::npos)
      << message;
  app.Stop();

  const std::string usage = m_dir + "/usage.txt";
  const std::string command =
      std::string(QXVN_APP_PATH) + " --state " + m_dir + "/state --max-seconds 0 2>" + usage;
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 2);
  EXPECT_NE(ReadFile(usage).find("--max-seconds 0: expected a number from 1 to 86400"), std::string::npos)
      << ReadFile(usage);
}

TEST_F(AppBudget, APrintedPageLeavesOneInfoLineWithItsFigures) {
  const std::string good = m_dir + "/label.png";
  WritePngFile(good, LabelPattern(true), PngKind::Rgb8);
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const int id = PrintJob(app.Uri(), good, "image/png", "label", "ATTR integer copies 2");
  ASSERT_EQ(WaitForJob(app.Uri(), id), "completed");
  // The figures are those of the page report the plug-in traced for the page.
  const std::string log = app.Log();
  const std::string job = "[Job " + std::to_string(id) + "] ";
  auto figure = [&](const std::string& name) {
    const size_t at = log.find(job, log.find(name) - 80);
    EXPECT_NE(at, std::string::npos);
    const size_t colon = log.find(':', log.find(name));
    return std::stol(log.substr(colon + 1));
  };
  const std::string expected = job + "Page 1: " + std::to_string(figure("TotalLines")) + " lines, " +
                               std::to_string(figure("TotalDots")) + " dots, " +
                               std::to_string(figure("PrintBytes")) + " bytes";
  size_t lines = 0, informational = 0;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.find(job) == std::string::npos) continue;
    if (line.find("CJobProc::") != std::string::npos || line.find("TotalDots") != std::string::npos) {
      EXPECT_EQ(line[0], 'D') << line;
    }
    if (line.find(job + "Page ") != std::string::npos) {
      ++lines;
      EXPECT_EQ(line[0], 'I') << line;
      EXPECT_NE(line.find(expected), std::string::npos) << line << "\nexpected " << expected;
    }
    if (line[0] == 'I') ++informational;
  }
  EXPECT_EQ(lines, 1u) << log;
  EXPECT_LT(informational, 12u) << log;
}

}  // namespace
}  // namespace qxtest
