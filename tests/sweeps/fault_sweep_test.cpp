// Fault sweeps over whole documents: the N-th package-chunk allocation fails, or the N-th spool
// write comes up short, for every N the document reaches. Whatever fails, the spool holds whole
// framed pages exactly as a faultless run writes them, and the document fails exactly when a
// page did not go out whole.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <span>

#include "common/wire/wire_reader.h"
#include "host/driver_host.h"
#include "tests/support/trace_capture.h"

namespace qxtest {
namespace {

constexpr LONG kWidth = 80;  // 10 bytes a line
using Bytes = std::vector<BYTE>;

struct Config {
  bool collate;
  WORD bitsPerPixel;
  bool banded;
};

std::string Name(const Config& c) {
  return std::string(c.collate ? "collated" : "uncollated") + ", " + std::to_string(c.bitsPerPixel) +
         " bits, " + (c.banded ? "banded" : "whole page");
}

// Rows of `rows` lines that alternate between all dots and four dots in eight, so that no two
// neighbouring lines fold into one run; `white` rows follow.
Bytes Pixels(LONG rows, LONG white, WORD bitsPerPixel) {
  const DWORD stride = qxhost::BandStride(kWidth, bitsPerPixel);
  Bytes pixels(static_cast<size_t>(rows + white) * stride, 0xFF);
  for (LONG r = 0; r < rows; ++r)
    for (LONG x = 0; x < kWidth; ++x)
      if (r % 2 == 0 || x % 8 < 4)
        std::fill_n(pixels.begin() + r * stride + x * (bitsPerPixel / 8), bitsPerPixel / 8, BYTE{0});
  return pixels;
}

// Splits a page's pixels into bands of at most `bandRows` rows.
std::vector<qxhost::BandView> Bands(const Bytes& pixels, LONG rows, WORD bitsPerPixel, LONG bandRows) {
  const DWORD stride = qxhost::BandStride(kWidth, bitsPerPixel);
  std::vector<qxhost::BandView> bands;
  for (LONG top = 0; top < rows; top += bandRows)
    bands.push_back(qxhost::MakeBand(pixels.data() + static_cast<size_t>(top) * stride, kWidth,
                                     std::min(bandRows, rows - top), bitsPerPixel, top));
  return bands;
}

// Whole pages of a stream, as the independent reader frames them.
class PageCollector : public qxvn::wire::StreamListener {
 public:
  void OnPageEnd(const qxvn::wire::Page& page) override { pages.push_back({page.offset, page.size}); }
  std::vector<std::pair<size_t, size_t>> pages;
};

class FaultSweep : public ::testing::Test {
 protected:
  FaultSweep() {
    std::string error;
    EXPECT_TRUE(host.Load(QX_FAULTS_PLUGIN_PATH, &error)) << error;
    void* handle = dlopen(QX_FAULTS_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(handle, nullptr);
    failChunkAlloc = reinterpret_cast<void (*)(int, int)>(dlsym(handle, "qx_test_fail_chunk_alloc"));
    chunkRequests = reinterpret_cast<int (*)()>(dlsym(handle, "qx_test_chunk_alloc_requests"));
    EXPECT_TRUE(failChunkAlloc && chunkRequests);
    if (handle) dlclose(handle);
  }
  ~FaultSweep() override {
    if (failChunkAlloc) failChunkAlloc(0, 0);
  }

  // Four pages, two copies: a short page; a page whose 256 lines of 16-byte packages fill a
  // chunk to the last byte, so that its trailer needs a chunk of its own; a page of blank bands
  // only; a page of three chunks of lines ending in white.
  qxhost::JobSpec Document(const Config& c) {
    pixels = {Pixels(21, 0, c.bitsPerPixel), Pixels(256, 0, c.bitsPerPixel), Pixels(0, 60, c.bitsPerPixel),
              Pixels(700, 100, c.bitsPerPixel)};
    const LONG rows[] = {21, 256, 60, 800};
    qxhost::JobSpec job;
    job.jobId = 5;
    job.bitsPerPixel = c.bitsPerPixel;
    job.devMode = qxhost::MakeDevMode(1, 68, 700, 2, c.collate ? DMCOLLATE_TRUE : DMCOLLATE_FALSE);
    job.pages.resize(4);
    for (size_t p = 0; p < 4; ++p) {
      job.pages[p].bands = Bands(pixels[p], rows[p], c.bitsPerPixel, c.banded ? 64 : rows[p]);
      if (p == 2)
        for (auto& band : job.pages[p].bands) band.blank = true;
    }
    return job;
  }

  // The document printed without faults, and its page copies: what every faulted run is held to.
  std::vector<Bytes> Faultless(const qxhost::JobSpec& job, qxhost::PrintResult* faultless) {
    *faultless = host.Print(job);
    EXPECT_TRUE(faultless->ok) << faultless->error;
    return Pages(faultless->spool);
  }

  // The page copies of a stream that must be whole, in order.
  static std::vector<Bytes> Pages(const Bytes& spool) {
    PageCollector collector;
    const auto fault = qxvn::wire::ReadStream(spool, collector);
    EXPECT_FALSE(fault) << fault->message << " at " << fault->offset;
    std::vector<Bytes> pages;
    for (auto [offset, size] : collector.pages)
      pages.emplace_back(spool.begin() + static_cast<long>(offset),
                         spool.begin() + static_cast<long>(offset + size));
    return pages;
  }

  // What a faulted run must show against the faultless one. A short write can leave the head
  // of the page copy it cut (the spooler had taken the chunks before it), and only that.
  void CheckAgainst(const std::vector<Bytes>& reference, const qxhost::PrintResult& r, bool writeFault) {
    size_t offset = 0, whole = 0;
    while (whole < reference.size() && r.spool.size() - offset >= reference[whole].size() &&
           std::equal(reference[whole].begin(), reference[whole].end(), r.spool.begin() + offset)) {
      offset += reference[whole].size();
      ++whole;
    }
    const Bytes rest(r.spool.begin() + static_cast<long>(offset), r.spool.end());
    EXPECT_EQ(Pages(Bytes(r.spool.begin(), r.spool.begin() + static_cast<long>(offset))).size(), whole);
    if (!rest.empty()) {
      EXPECT_TRUE(writeFault) << "bytes after the whole pages without a short write";
      ASSERT_LT(whole, reference.size()) << "bytes after the last page";
      EXPECT_LT(rest.size(), reference[whole].size());
      EXPECT_TRUE(std::equal(rest.begin(), rest.end(), reference[whole].begin()))
          << "the bytes after the whole pages are not the head of the next page";
    }
    const bool allWhole = whole == reference.size() && rest.empty();
    EXPECT_EQ(r.ok, allWhole) << r.error;
    if (!r.ok) {
      EXPECT_FALSE(r.error.empty());
    }
    trace.Clear();
  }

  TraceCapture trace;
  qxhost::DriverHost host;
  void (*failChunkAlloc)(int, int) = nullptr;
  int (*chunkRequests)() = nullptr;
  std::vector<Bytes> pixels;
};

const Config kConfigs[] = {{false, 24, true}, {false, 24, false}, {false, 32, true}, {false, 32, false},
                           {true, 24, true},  {true, 24, false},  {true, 32, true},  {true, 32, false}};

TEST_F(FaultSweep, FailedChunkAllocationsLoseWholePagesAndFailTheDocument) {
  ASSERT_TRUE(failChunkAlloc);
  for (const Config& c : kConfigs) {
    SCOPED_TRACE(Name(c));
    const qxhost::JobSpec job = Document(c);
    qxhost::PrintResult faultless;
    const std::vector<Bytes> reference = Faultless(job, &faultless);
    ASSERT_TRUE(faultless.ok);
    ASSERT_EQ(reference.size(), c.collate ? 4u : 8u);
    for (int onlyOnce : {1, 0}) {
      for (int n = 1;; ++n) {
        SCOPED_TRACE((onlyOnce ? "only allocation " : "from allocation ") + std::to_string(n));
        failChunkAlloc(n, onlyOnce);
        const qxhost::PrintResult r = host.Print(job);
        const int requests = chunkRequests();
        failChunkAlloc(0, 0);
        CheckAgainst(reference, r, false);
        if (requests < n) break;
        ASSERT_LT(n, 1000);
      }
    }
  }
}

TEST_F(FaultSweep, ShortSpoolWritesStopTheDocumentAndFailIt) {
  for (const Config& c : kConfigs) {
    SCOPED_TRACE(Name(c));
    const qxhost::JobSpec job = Document(c);
    qxhost::PrintResult faultless;
    const std::vector<Bytes> reference = Faultless(job, &faultless);
    ASSERT_TRUE(faultless.ok);
    for (bool onlyOnce : {true, false}) {
      for (size_t n = 1; n <= faultless.spoolWrites.size() + 1; ++n) {
        SCOPED_TRACE((onlyOnce ? "only write " : "from write ") + std::to_string(n));
        qxhost::HostFaults faults;
        (onlyOnce ? faults.spoolFailOnlyWrite : faults.spoolFailFromWrite) = n;
        const qxhost::PrintResult r = host.Print(job, faults);
        CheckAgainst(reference, r, true);
        // The document stops at the short write: nothing is written after it.
        if (n <= faultless.spoolWrites.size()) {
          EXPECT_EQ(r.spoolWrites.size(), n);
        }
      }
    }
  }
}

}  // namespace
}  // namespace qxtest
