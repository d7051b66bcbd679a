// Many documents printed at once through one loaded plug-in library, from many threads: each
// must come out exactly as it does when printed alone, failures and trace included.
#include <gmock/gmock.h>

#include <algorithm>
#include <latch>
#include <memory>
#include <mutex>
#include <thread>

#include "host/driver_host.h"

namespace qxtest {
namespace {

constexpr size_t kDocuments = 24;  // distinct documents
constexpr size_t kThreads = 8;
constexpr size_t kPerThread = 16;  // 128 documents printed at once in all
// "2025-01-02 03:04:05.006  " is 25 characters.
constexpr size_t kTimestampChars = 25;

// A document with its pixels and the failures it is printed with.
struct Document {
  std::vector<std::vector<BYTE>> pixels;  // one buffer per page
  qxhost::JobSpec job;
  qxhost::HostFaults faults;
};

qxhost::PrinterValue Dword(DWORD value) {
  return {REG_DWORD, {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)}};
}

// A pattern of its own per document and page: blocks whose size and phase depend on both, with
// blank rows between, so that blank runs, repeated lines and print lines all occur.
std::vector<BYTE> PagePixels(size_t doc, DWORD page, LONG width, LONG rows, WORD bitsPerPixel) {
  const DWORD stride = qxhost::BandStride(width, bitsPerPixel);
  const size_t bytesPerPixel = bitsPerPixel / 8u;
  std::vector<BYTE> pixels(stride * static_cast<size_t>(rows), 0xFF);
  const size_t cell = 3 + (doc + page) % 5;
  for (LONG y = 0; y < rows; ++y) {
    if ((static_cast<size_t>(y) / 9 + doc) % 4 == 3) continue;
    for (LONG x = 0; x < width; ++x) {
      const size_t v = static_cast<size_t>(x) / cell + static_cast<size_t>(y) / (cell + 1) + doc + page;
      if (v % 3 == 0) std::fill_n(pixels.begin() + y * stride + x * bytesPerPixel, 3, BYTE{0x20});
    }
  }
  return pixels;
}

// Document `i`: its size, rotation, alignment, copies, collation, colour depth and printer data
// all follow from `i`, and some fail part way.
std::unique_ptr<Document> MakeDocument(size_t i) {
  auto doc = std::make_unique<Document>();
  qxhost::JobSpec& job = doc->job;
  job.jobId = static_cast<DWORD>(500 + i);
  job.documentName = u"label " + qxhost::FromUtf8(std::to_string(i));
  job.bitsPerPixel = i % 2 ? 32 : 24;
  const LONG width = std::vector<LONG>{120, 333, 576, 640, 200}[i % 5];
  const LONG rows = static_cast<LONG>(40 + 37 * (i % 4) + i);
  const auto copies = static_cast<SHORT>(1 + i % 3);
  const SHORT collate = (i / 2) % 2 ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
  job.devMode = i % 4 == 0 ? qxhost::MakeDevMode(DMPAPER_LETTER, 2159, 2794, copies, collate)
                           : qxhost::MakeDevMode(DMPAPER_USER, static_cast<SHORT>(width * 254 / 300),
                                                 static_cast<SHORT>(rows * 254 / 300 + 20), copies, collate);
  job.printerData = {{u"Rotation", Dword(i % 4)},           {u"HorAlignment", Dword((i / 4) % 3)},
                     {u"VerAlignment", Dword((i / 2) % 3)}, {u"GrayThreshold", Dword(90 + 7 * i)},
                     {u"PrintDarkness", Dword(1 + i % 15)}, {u"PrintSpeed", Dword(1 + i % 4)},
                     {u"GapLength", Dword(100 + 10 * i)}};
  if (i % 5 == 2) {
    job.printerData.emplace_back(u"LabelWidth", Dword(30 + i % 7));
    job.printerData.emplace_back(u"LabelHeight", Dword(15 + i % 5));
    job.printerData.emplace_back(u"OffsetX", Dword(i % 3));
  }
  const DWORD pages = 1 + i % 3;
  const size_t bandsPerPage = 1 + (i / 3) % 3;
  const DWORD stride = qxhost::BandStride(width, job.bitsPerPixel);
  for (DWORD page = 1; page <= pages; ++page) {
    doc->pixels.push_back(PagePixels(i, page, width, rows, job.bitsPerPixel));
    qxhost::PageSpec spec;
    LONG top = 0;
    for (size_t b = 0; b < bandsPerPage; ++b) {
      const LONG bandRows = b + 1 == bandsPerPage ? rows - top : rows / static_cast<LONG>(bandsPerPage);
      spec.bands.push_back(
          qxhost::MakeBand(doc->pixels.back().data() + top * stride, width, bandRows, job.bitsPerPixel, top));
      top += bandRows;
    }
    job.pages.push_back(std::move(spec));
  }
  // Failures part way: a short spool write, a refused last band, a job record that cannot be
  // filled, a palette the engine refuses.
  if (i % 6 == 1) doc->faults.spoolFailFromWrite = 2;
  if (i % 6 == 4) job.pages.back().bands.back().callbackId = 7;
  if (i % 8 == 5) doc->faults.createPaletteFails = true;
  if (i % 12 == 9) doc->faults.getJobFillFails = true;
  return doc;
}

// What one print of a document gave, in a form that compares whole.
struct Outcome {
  bool ok = false;
  std::string error;
  std::vector<BYTE> spool;
  std::vector<DWORD> spoolWrites;
  std::vector<std::string> calls;
  std::vector<int> hostCalls;
  std::vector<std::string> trace;  // without timestamps

  bool operator==(const Outcome&) const = default;
};

std::string WithoutTimestamp(std::u16string_view line) {
  std::string text = qxhost::ToUtf8(line);
  return text.size() > kTimestampChars ? text.substr(kTimestampChars) : text;
}

Outcome PrintOne(qxhost::DriverHost& host, const Document& doc) {
  Outcome out;
  qxhost::JobSpec job = doc.job;
  job.traceSink = [&out](std::u16string_view line) { out.trace.push_back(WithoutTimestamp(line)); };
  qxhost::PrintResult result = host.Print(job, doc.faults);
  out.ok = result.ok;
  out.error = result.error;
  out.spool = std::move(result.spool);
  out.spoolWrites = std::move(result.spoolWrites);
  for (const auto& call : result.calls) {
    // While other documents hold plug-in objects the library answers S_FALSE, which is right.
    const std::string value = call.call == "DllCanUnloadNow" ? "" : std::to_string(call.result);
    out.calls.push_back(call.call + " " + std::to_string(call.page) + "/" + std::to_string(call.band) + " " +
                        value + (call.ok ? " ok" : " failed"));
  }
  const qxhost::CallCounts& c = result.hostCalls;
  out.hostCalls = {c.getJob, c.getPrinterData, c.createPalette, c.deletePalette};
  return out;
}

// Which part of two outcomes differs first, for the failure message.
std::string FirstDifference(const Outcome& got, const Outcome& want) {
  if (got.ok != want.ok || got.error != want.error) return "result: " + got.error + " | " + want.error;
  if (got.spool != want.spool) return "stream";
  if (got.spoolWrites != want.spoolWrites) return "spool writes";
  if (got.calls != want.calls) return "plug-in calls";
  if (got.hostCalls != want.hostCalls) return "host service calls";
  for (size_t k = 0; k < std::min(got.trace.size(), want.trace.size()); ++k)
    if (got.trace[k] != want.trace[k]) return "trace line " + std::to_string(k) + ": " + got.trace[k];
  return "trace length " + std::to_string(got.trace.size()) + " for " + std::to_string(want.trace.size());
}

// Lines that reach the process-wide sink, from whichever thread.
class ProcessSink {
 public:
  ProcessSink() {
    qxhost::SetDebugSink([this](std::u16string_view line) {
      std::lock_guard lock(m_mutex);
      m_lines.push_back(WithoutTimestamp(line));
    });
  }
  ~ProcessSink() { qxhost::SetDebugSink(nullptr); }
  ProcessSink(const ProcessSink&) = delete;
  ProcessSink& operator=(const ProcessSink&) = delete;
  std::vector<std::string> Lines() {
    std::lock_guard lock(m_mutex);
    return m_lines;
  }

 private:
  std::mutex m_mutex;
  std::vector<std::string> m_lines;
};

class ConcurrentPrintTest : public ::testing::Test {
 protected:
  ConcurrentPrintTest() {
    std::string error;
    EXPECT_TRUE(host.Load(qxhost::BuiltPluginPath(), &error)) << error;
    for (size_t i = 0; i < kDocuments; ++i) docs.push_back(MakeDocument(i));
    // Each document printed alone, on this thread, before any other thread prints.
    for (const auto& doc : docs) alone.push_back(PrintOne(host, *doc));
  }

  // The document that thread `t` prints `k`-th: every thread runs through the set in an order
  // of its own, so the same document is often printing on several threads at once.
  static size_t DocumentOf(size_t t, size_t k) { return (t * 7 + k * 5) % kDocuments; }

  // Runs `kThreads` threads that start together, each printing its `kPerThread` documents.
  template <class PrintFn>
  void RunThreads(PrintFn print) {
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        start.arrive_and_wait();
        for (size_t k = 0; k < kPerThread; ++k) print(t, k);
      });
    for (auto& thread : threads) thread.join();
  }

  qxhost::DriverHost host;
  std::vector<std::unique_ptr<Document>> docs;
  std::vector<Outcome> alone;
};

TEST_F(ConcurrentPrintTest, EveryDocumentPrintsAsItDoesAlone) {
  // The set tells documents apart (those that spool nothing by their traces): a mix-up between
  // any two would show.
  for (size_t a = 0; a < kDocuments; ++a)
    for (size_t b = a + 1; b < kDocuments; ++b) {
      if (!alone[a].spool.empty()) {
        EXPECT_NE(alone[a].spool, alone[b].spool) << a << " and " << b;
      }
      EXPECT_NE(alone[a].trace, alone[b].trace) << a << " and " << b;
    }
  size_t failed = 0;
  for (const Outcome& o : alone) failed += o.ok ? 0 : 1;
  EXPECT_GE(failed, 6u);
  EXPECT_LE(failed, kDocuments / 2);

  ProcessSink processSink;
  std::vector<Outcome> together(kThreads * kPerThread);
  RunThreads(
      [&](size_t t, size_t k) { together[t * kPerThread + k] = PrintOne(host, *docs[DocumentOf(t, k)]); });
  for (size_t t = 0; t < kThreads; ++t)
    for (size_t k = 0; k < kPerThread; ++k) {
      const size_t doc = DocumentOf(t, k);
      const Outcome& got = together[t * kPerThread + k];
      EXPECT_TRUE(got == alone[doc]) << "document " << doc << " on thread " << t << ": "
                                     << FirstDifference(got, alone[doc]);
    }
  // Every line went to its document's sink; none to the process's.
  EXPECT_THAT(processSink.Lines(), ::testing::IsEmpty());
}

TEST_F(ConcurrentPrintTest, LinesOfThreadsWithoutRouteGoToTheProcessSink) {
  ProcessSink processSink;
  std::vector<Outcome> together(kThreads * kPerThread);
  RunThreads([&](size_t t, size_t k) {
    const Document& doc = *docs[DocumentOf(t, k)];
    if (t % 2 == 0) {
      together[t * kPerThread + k] = PrintOne(host, doc);
      return;
    }
    qxhost::PrintResult result = host.Print(doc.job, doc.faults);
    together[t * kPerThread + k].spool = result.spool;
  });
  std::vector<std::string> unrouted;
  for (size_t t = 0; t < kThreads; ++t)
    for (size_t k = 0; k < kPerThread; ++k) {
      const Outcome& want = alone[DocumentOf(t, k)];
      const Outcome& got = together[t * kPerThread + k];
      EXPECT_EQ(got.spool, want.spool) << "thread " << t << " document " << DocumentOf(t, k);
      if (t % 2 == 0)
        EXPECT_EQ(got.trace, want.trace) << "thread " << t << " document " << DocumentOf(t, k);
      else
        unrouted.insert(unrouted.end(), want.trace.begin(), want.trace.end());
    }
  // Interleaved as the threads wrote them, but exactly the unrouted documents' lines.
  std::vector<std::string> lines = processSink.Lines();
  std::sort(lines.begin(), lines.end());
  std::sort(unrouted.begin(), unrouted.end());
  EXPECT_TRUE(lines == unrouted) << lines.size() << " lines for " << unrouted.size();
}

TEST_F(ConcurrentPrintTest, ThreadRouteServesDocumentsWithoutSinkAndIsRestored) {
  std::vector<std::string> routed;
  qxhost::DebugSink before = qxhost::ExchangeThreadDebugSink(
      [&routed](std::u16string_view line) { routed.push_back(WithoutTimestamp(line)); });
  // A document with a sink of its own leaves the thread's route alone...
  EXPECT_TRUE(PrintOne(host, *docs[0]) == alone[0]);
  EXPECT_THAT(routed, ::testing::IsEmpty());
  // ...and one without writes to the thread's route.
  host.Print(docs[3]->job, docs[3]->faults);
  EXPECT_EQ(routed, alone[3].trace);
  // After a document, the thread's own lines still reach its route.
  OutputDebugStringW(reinterpret_cast<LPCWSTR>(u"after the documents"));
  EXPECT_EQ(routed.back(), "after the documents");
  qxhost::ExchangeThreadDebugSink(std::move(before));
}

TEST_F(ConcurrentPrintTest, FailuresAndCountsBelongToTheDocumentsPrinter) {
  // Counted for the document alone: the job record twice at the first page, two palettes made
  // (the driver's default and the plug-in's) and both deleted.
  EXPECT_EQ(alone[0].hostCalls[0], 2);
  EXPECT_GT(alone[0].hostCalls[1], 0);
  EXPECT_EQ(alone[0].hostCalls[2], 2);
  EXPECT_EQ(alone[0].hostCalls[3], 2);
  // The process still counts every call, and no document's failure became the process's.
  const int jobCalls = qxhost::HostCalls().getJob;
  PrintOne(host, *docs[9]);
  EXPECT_EQ(qxhost::HostCalls().getJob, jobCalls + alone[9].hostCalls[0]);
  EXPECT_FALSE(qxhost::HostFailures().getJobFillFails);
  EXPECT_FALSE(qxhost::HostFailures().createPaletteFails);
  EXPECT_FALSE(alone[9].ok);
  EXPECT_TRUE(PrintOne(host, *docs[0]) == alone[0]);
}

}  // namespace
}  // namespace qxtest
