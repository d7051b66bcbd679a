// No job lost or stuck, and every job's output its own: the app killed (SIGKILL) while it
// prints a long job with others queued and one accepted just before, then started again; jobs
// of the same name; jobs that end unprinted.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "tests/printer_app/app_samples.h"
#include "tests/printer_app/app_server.h"

namespace qxtest {
namespace {

namespace fs = std::filesystem;

class AppRecoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = FreshTestFolder();
    m_png = m_dir + "/label.png";
    WritePngFile(m_png, LabelPattern(true), PngKind::Rgb8);
    m_long = m_dir + "/long.pdf";
    WriteLongPdf(m_long, 300);
  }

  std::string JobValue(const AppServer& app, int id, const std::string& name) {
    return RunIpptool(app.Uri(), "  OPERATION Get-Job-Attributes\n" + std::string(kRequestHead) +
                                     "  ATTR integer job-id " + std::to_string(id) + "\n")
        .Value(name);
  }

  // Waits (bounded) until the job is processing.
  bool WaitUntilProcessing(const AppServer& app, int id) {
    for (int i = 0; i < 300; ++i) {
      if (JobValue(app, id, "job-state") == "processing") return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // Starts the app with a history of 3 ended jobs a printer and prints 8 jobs, their ids in `ids`.
  void PrintBurstPastAHistoryOfThree(AppServer& app, std::vector<int>& ids) {
    ASSERT_TRUE(app.Start());
    app.Stop();
    const std::string stateFile = app.StateDir() + "/state.conf";
    std::string state = ReadFile(stateFile);
    const size_t limitAt = state.find("MaxCompletedJobs ");
    ASSERT_NE(limitAt, std::string::npos) << state;
    state.replace(limitAt, state.find('\n', limitAt) - limitAt, "MaxCompletedJobs 3");
    std::ofstream(stateFile, std::ios::binary | std::ios::trunc) << state;
    ASSERT_TRUE(app.Start());
    for (int n = 0; n < 8; ++n) ids.push_back(PrintJob(app.Uri(), m_png, "image/png", "burst"));
    for (int id : ids) ASSERT_EQ(WaitForJob(app.Uri(), id), "completed") << id;
  }

  std::string m_dir, m_png, m_long;
};

// PAPPL rotates its log at 1 MB: the older part is app.log.O.
std::string FullLog(const AppServer& app) { return ReadFile(app.StateDir() + "/app.log.O") + app.Log(); }

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST_F(AppRecoveryTest, AKilledAppPrintsEveryAcceptedJobOnceAfterARestart) {
  AppServer app(m_dir + "/state");
  // Without debug lines, so that the log (rotated at 1 MB) keeps every job's end.
  app.AddArgs({"--log-level", "info"});
  ASSERT_TRUE(app.Start());
  const int longJob = PrintJob(app.Uri(), m_long, "application/pdf", "long");
  ASSERT_GT(longJob, 0);
  ASSERT_TRUE(WaitUntilProcessing(app, longJob));
  std::map<int, std::string> queued;  // id -> name
  // One with values of its own, which it keeps through the restart.
  const std::string ownValues = "  ATTR integer print-darkness 100\n  ATTR integer gray-threshold 90\n";
  for (const char* name : {"queued-1", "own-values", "accepted-last"}) {
    const int id =
        PrintJob(app.Uri(), m_png, "image/png", name, name == std::string("own-values") ? ownValues : "");
    ASSERT_GT(id, 0);
    queued[id] = name;
  }
  // A job cancelled while it waits stays cancelled.
  const int cancelled = PrintJob(app.Uri(), m_png, "image/png", "cancelled");
  ASSERT_GT(cancelled, 0);
  ASSERT_EQ(RunIpptool(app.Uri(), "  OPERATION Cancel-Job\n" + std::string(kRequestHead) +
                                      "  ATTR integer job-id " + std::to_string(cancelled) +
                                      "\n  STATUS successful-ok\n")
                .exitCode,
            0);
  // Killed at once after the last job's acceptance, while the long job still prints.
  ASSERT_EQ(JobValue(app, longJob, "job-state"), "processing");
  app.Kill();
  const std::string logBefore = FullLog(app);

  const auto restart = std::chrono::steady_clock::now();
  ASSERT_TRUE(app.Start());
  // Every job prints without a new job arriving to start the queue.
  EXPECT_EQ(WaitForJob(app.Uri(), longJob, 60), "completed") << app.Log();
  for (const auto& [id, name] : queued) EXPECT_EQ(WaitForJob(app.Uri(), id, 30), "completed") << name;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - restart).count();
  std::printf("restart to every job printed: %.1f s\n", seconds);
  // The interrupted job was printed again from its start, and says so.
  EXPECT_NE(JobValue(app, longJob, "job-state-message").find("Interrupted"), std::string::npos);
  EXPECT_GT(fs::file_size(app.OutputFile(longJob, "long")), 0u);
  // Each job once, under its own id, its own file.
  const std::string expected = QxvnPrint(m_png + DefaultSettings());
  const std::string expectedOwn =
      QxvnPrint(m_png + DefaultSettings({{"PrintDarkness", 14}, {"GrayThreshold", 90}}));
  for (const auto& [id, name] : queued)
    EXPECT_TRUE(ReadFile(app.OutputFile(id, name)) == (name == "own-values" ? expectedOwn : expected))
        << name;
  EXPECT_EQ(WaitForJob(app.Uri(), cancelled), "canceled");
  EXPECT_FALSE(fs::exists(app.OutputFile(cancelled, "cancelled")));
  const std::string log = FullLog(app);
  for (int id : {longJob, queued.begin()->first, queued.rbegin()->first}) {
    const std::string completed = "[Job " + std::to_string(id) + "] Completed";
    EXPECT_EQ(Count(log, completed), 1u) << completed;
    EXPECT_EQ(Count(logBefore, completed), 0u) << completed;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(app.OutputDir()), fs::directory_iterator()), 4);
  // Ids are never given twice.
  const int next = PrintJob(app.Uri(), m_png, "image/png", "after");
  EXPECT_GT(next, queued.rbegin()->first);
  EXPECT_EQ(WaitForJob(app.Uri(), next), "completed");
  // Nothing holds the shutdown.
  const double stop = app.Stop();
  std::printf("SIGTERM to exit: %.1f s\n", stop);
  EXPECT_LT(stop, 5.0);
}

TEST_F(AppRecoveryTest, JobsCancelledAllAtOnceStayCancelledAfterAKill) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const int longJob = PrintJob(app.Uri(), m_long, "application/pdf", "long");
  ASSERT_TRUE(WaitUntilProcessing(app, longJob));
  const int waiting = PrintJob(app.Uri(), m_png, "image/png", "waiting");
  ASSERT_GT(waiting, 0);
  ASSERT_EQ(RunIpptool(app.Uri(),
                       "  OPERATION Cancel-Jobs\n" + std::string(kRequestHead) + "  STATUS successful-ok\n")
                .exitCode,
            0);
  ASSERT_EQ(WaitForJob(app.Uri(), waiting), "canceled");
  app.Kill();
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(WaitForJob(app.Uri(), waiting, 5), "canceled");
  EXPECT_EQ(WaitForJob(app.Uri(), longJob, 60), "canceled");
  EXPECT_TRUE(fs::is_empty(app.OutputDir()));
}

TEST_F(AppRecoveryTest, SameNamedJobsLeaveTheirOwnFilesAndUnprintedJobsNone) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const std::string expected = QxvnPrint(m_png + DefaultSettings());
  std::vector<int> same;
  for (int n = 0; n < 3; ++n) same.push_back(PrintJob(app.Uri(), m_png, "image/png", "same"));
  for (int id : same) {
    ASSERT_EQ(WaitForJob(app.Uri(), id), "completed");
    EXPECT_TRUE(ReadFile(app.OutputFile(id, "same")) == expected) << id;
  }
  // A job cancelled while it prints, and one whose document is bad: no file left of either.
  const int cancelled = PrintJob(app.Uri(), m_long, "application/pdf", "cancelled");
  ASSERT_TRUE(WaitUntilProcessing(app, cancelled));
  IppResult cancel = RunIpptool(app.Uri(), "  OPERATION Cancel-Job\n" + std::string(kRequestHead) +
                                               "  ATTR integer job-id " + std::to_string(cancelled) +
                                               "\n  STATUS successful-ok\n");
  ASSERT_EQ(cancel.exitCode, 0) << cancel.output;
  EXPECT_EQ(WaitForJob(app.Uri(), cancelled), "canceled");
  const std::string bad = m_dir + "/bad.png";
  std::string png = ReadFile(m_png);
  std::ofstream(bad, std::ios::binary) << png.substr(0, png.size() / 2);
  const int broken = PrintJob(app.Uri(), bad, "image/png", "broken");
  ASSERT_GT(broken, 0);
  EXPECT_EQ(WaitForJob(app.Uri(), broken), "aborted");
  EXPECT_FALSE(fs::exists(app.OutputFile(cancelled, "cancelled")));
  EXPECT_FALSE(fs::exists(app.OutputFile(broken, "broken")));
  EXPECT_EQ(std::distance(fs::directory_iterator(app.OutputDir()), fs::directory_iterator()), 3);
  // The job's message names no folder of the server.
  EXPECT_EQ(JobValue(app, broken, "job-state-message").find(m_dir), std::string::npos);
}

}  // namespace
}  // namespace qxtest

namespace qxtest {
namespace {

// A burst past the printer's history: the ended jobs beyond it leave neither the saved state nor
// the spool, and none comes back after a kill and a restart; no job leaves a file in the spool.
TEST_F(AppRecoveryTest, JobsBeyondTheHistoryLeaveNoTraceAndStayGoneAfterAKill) {
  AppServer app(m_dir + "/state");
  const std::string stateFile = app.StateDir() + "/state.conf";
  std::vector<int> ids;
  ASSERT_NO_FATAL_FAILURE(PrintBurstPastAHistoryOfThree(app, ids));
  EXPECT_TRUE(fs::is_empty(app.StateDir() + "/spool"));
  app.Kill();
  ASSERT_TRUE(app.Start());
  // Three (those that ended last) are the history; the others are gone for good.
  size_t kept = 0;
  for (int id : ids) {
    const std::string jobState = JobValue(app, id, "job-state");
    EXPECT_TRUE(jobState.empty() || jobState == "completed") << id << ": " << jobState;
    kept += jobState == "completed";
  }
  EXPECT_EQ(kept, 3u) << ReadFile(stateFile);
  app.Stop();
  size_t saved = 0;
  for (const std::string& file : {stateFile, stateFile + ".jobs"}) saved += Count(ReadFile(file), "Job ");
  EXPECT_LE(saved, 3u);
  EXPECT_TRUE(fs::is_empty(app.StateDir() + "/spool"));
}

// The running app holds the same history: the ended jobs beyond it leave a minute after they
// ended (PAPPL's grace for clients asking after their jobs), the most recently ended staying,
// though more jobs keep coming.
TEST_F(AppRecoveryTest, JobsBeyondTheHistoryLeaveTheRunningAppTheNewestStaying) {
  AppServer app(m_dir + "/state");
  const std::string stateFile = app.StateDir() + "/state.conf";
  std::vector<int> ids;
  ASSERT_NO_FATAL_FAILURE(PrintBurstPastAHistoryOfThree(app, ids));
  // A job every few seconds meanwhile: PAPPL's own clean-up then never lets one go.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(100);
  std::vector<int> later;
  while (!JobValue(app, ids.back(), "job-state").empty() && std::chrono::steady_clock::now() < until) {
    later.push_back(PrintJob(app.Uri(), m_png, "image/png", "later"));
    std::this_thread::sleep_for(std::chrono::seconds(3));
  }
  ASSERT_GE(later.size(), 3u);
  for (int id : ids) EXPECT_EQ(JobValue(app, id, "job-state"), "") << id;
  // The first of the later jobs have left too by now; the last three stay.
  for (size_t n = later.size() - 3; n < later.size(); ++n)
    EXPECT_EQ(WaitForJob(app.Uri(), later[n]), "completed") << later[n];
}

}  // namespace
}  // namespace qxtest
