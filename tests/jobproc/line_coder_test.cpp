#include <gtest/gtest.h>

#include "stream/packages.h"
#include "tests/support/chunk_alloc_failure.h"
#include "tests/support/job_fixture.h"

namespace {

using qxtest::Hex;
using qxtest::JobFixture;
using qxtest::ListBytes;

using Counters = std::vector<DWORD>;
// MaxLine, SumLines, LeadLines, TailLines, MaxPrint, SumPrints.
Counters CountersOf(const CJobProc& j) {
  return {j.m_nMaxLine, j.m_nSumLines, j.m_nLeadLines, j.m_nTailLines, j.m_nMaxPrint, j.m_nSumPrints};
}
// State, RunLines, RunOffset, RunBytes, RunDots.
Counters RunOf(const CJobProc& j) {
  return {j.m_byState, j.m_nRunLines, j.m_nRunOffset, j.m_nRunBytes, j.m_nRunDots};
}

std::vector<BYTE> LineWith(size_t at, std::vector<BYTE> data, size_t width = MAX_LINE_BYTES) {
  std::vector<BYTE> line(width, 0);
  std::copy(data.begin(), data.end(), line.begin() + static_cast<ptrdiff_t>(at));
  return line;
}

// Fills the list so that its chunk has `room` bytes left.
void LeaveRoom(CPackageList& list, DWORD room) {
  std::vector<BYTE> filler(PACKAGE_CHUNK_BYTES, 0);
  ASSERT_TRUE(PushPackage(list, 0x30, filler.data(), PACKAGE_CHUNK_BYTES - 5 - room));
}

class LineCoder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(f.StartJob());
    ASSERT_TRUE(f.StartPage());
    f.job.m_nPageWidth = 576;
  }
  std::string Queued() const { return Hex(ListBytes(f.job.m_Packages)); }

  JobFixture f;
};

TEST_F(LineCoder, WorkedExamplePackageForPackage) {
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(f.Blank(1));
  EXPECT_EQ(RunOf(f.job), (Counters{PAGE_BLANK_RUN, 10, MAX_LINE_BYTES, 0, 0}));
  EXPECT_EQ(Queued(), "");

  const std::vector<BYTE> first = LineWith(10, {0xFF, 0x00, 0x0F});
  ASSERT_TRUE(f.Line(first));
  EXPECT_EQ(CountersOf(f.job), (Counters{10, 10, 10, 10, 0, 0}));
  EXPECT_EQ(RunOf(f.job), (Counters{PAGE_PRINT_RUN, 1, 10, 3, 12}));
  EXPECT_EQ(Queued(), "1F 22 01 09 88");

  ASSERT_TRUE(f.Line(first));
  ASSERT_TRUE(f.Line(first));
  EXPECT_EQ(RunOf(f.job), (Counters{PAGE_PRINT_RUN, 3, 10, 3, 12}));
  EXPECT_EQ(CountersOf(f.job), (Counters{10, 10, 10, 10, 0, 0}));
  EXPECT_EQ(f.job.m_nMaxSfDots, 0u);  // nothing booked until the run ends

  ASSERT_TRUE(f.Line(LineWith(0, {0x80})));
  EXPECT_EQ(CountersOf(f.job), (Counters{10, 10, 10, 0, 3, 3}));
  EXPECT_EQ(RunOf(f.job), (Counters{PAGE_PRINT_RUN, 1, 0, 1, 1}));
  EXPECT_EQ(Queued(), "1F 22 01 09 88 1F 21 05 02 0A FF 00 0F 88");

  for (int i = 0; i < 5; ++i) ASSERT_TRUE(f.Blank(1));
  EXPECT_EQ(CountersOf(f.job), (Counters{10, 10, 10, 0, 3, 4}));
  EXPECT_EQ(RunOf(f.job), (Counters{PAGE_BLANK_RUN, 5, MAX_LINE_BYTES, 0, 0}));
  EXPECT_EQ(Queued(), "1F 22 01 09 88 1F 21 05 02 0A FF 00 0F 88 1F 21 03 00 00 80 88");

  ASSERT_TRUE(f.EndPage());
  EXPECT_EQ(CountersOf(f.job), (Counters{10, 15, 10, 5, 3, 4}));
  EXPECT_EQ(f.job.m_nTotalLines, 19u);
  EXPECT_EQ(Hex(f.Spooled()),
            "1F 20 00 88 1F 27 01 48 88 1F 25 02 0C 01 88 "
            "1F 22 01 09 88 1F 21 05 02 0A FF 00 0F 88 1F 21 03 00 00 80 88 1F 22 01 04 88 1F 28 00 88");
}

TEST_F(LineCoder, PrintRunsSplitAfter16384Lines) {
  const std::vector<BYTE> line = LineWith(0, {0x01});
  ASSERT_TRUE(f.Line(line, 16383));
  ASSERT_TRUE(f.Line(line));  // 16384 lines
  ASSERT_TRUE(f.Blank(1));
  EXPECT_EQ(Queued(), "1F 21 04 FF FF 00 01 88");

  f.job.m_Packages.Empty();
  ASSERT_TRUE(f.Line(line, 16385));
  ASSERT_TRUE(f.Blank(1));
  EXPECT_EQ(Queued(), "1F 22 01 00 88 1F 21 04 FF FF 00 01 88 1F 21 03 00 00 01 88");
  EXPECT_EQ(f.job.m_nMaxPrint, 16385u);
  EXPECT_EQ(f.job.m_nSumPrints, 32769u);

  // One line short of the split, print and blank runs are one package each.
  f.job.m_Packages.Empty();
  ASSERT_TRUE(f.Line(line, 16383));
  ASSERT_TRUE(f.Blank(16383));
  ASSERT_TRUE(f.Line(line));
  EXPECT_EQ(Queued(), "1F 22 01 00 88 1F 21 04 FF FE 00 01 88 1F 22 02 FF FE 88");
}

TEST_F(LineCoder, BlankRunOf40000LinesIsThreeFeeds) {
  ASSERT_TRUE(f.Blank(40000));
  ASSERT_TRUE(f.Line({0xFF}));
  EXPECT_EQ(Queued(), "1F 22 02 FF FF 88 1F 22 02 FF FF 88 1F 22 02 DC 3F 88");
  EXPECT_EQ(CountersOf(f.job), (Counters{40000, 40000, 40000, 40000, 0, 0}));
}

TEST_F(LineCoder, OnlyTheFirst72BytesCount) {
  // count 0 and bytes beyond 72 only: blank lines; the two data lines are one run.
  ASSERT_TRUE(f.job.DataLine(nullptr, 0, 2));
  ASSERT_TRUE(f.Line(LineWith(72, {0xFF}, 80)));
  ASSERT_TRUE(f.Line(LineWith(70, {0x03, 0x80, 0xFF, 0xFF}, 100)));
  ASSERT_TRUE(f.Line(LineWith(70, {0x03, 0x80, 0x00, 0x11}, 74)));
  ASSERT_TRUE(f.EndPage());
  EXPECT_EQ(
      Hex(f.Spooled()),
      "1F 20 00 88 1F 27 01 48 88 1F 25 02 03 00 88 1F 22 01 02 88 1F 21 04 01 46 03 80 88 1F 28 00 88");
  EXPECT_EQ(f.job.m_nTotalDots, 6u);
}

TEST_F(LineCoder, EqualDataSpansAreEqualWhateverTheCount) {
  ASSERT_TRUE(f.Line({0x00, 0x00, 0xF0}));
  ASSERT_TRUE(f.Line(LineWith(2, {0xF0}, 40)));
  ASSERT_TRUE(f.Line(LineWith(2, {0xF0}, 72)));
  EXPECT_EQ(f.job.m_nRunLines, 3u);
  EXPECT_EQ(Queued(), "");

  // The same data one byte later is another line.
  ASSERT_TRUE(f.Line(LineWith(3, {0xF0})));
  EXPECT_EQ(Queued(), "1F 21 03 02 02 F0 88");
  // Same offset and length, different bytes.
  ASSERT_TRUE(f.Line(LineWith(3, {0xF1})));
  EXPECT_EQ(Queued(), "1F 21 03 02 02 F0 88 1F 21 03 00 03 F0 88");
  EXPECT_EQ(f.job.m_nTotalLines, 5u);
}

TEST_F(LineCoder, LeadAndTailLinesFollowTheRuns) {
  ASSERT_TRUE(f.Blank(4));
  ASSERT_TRUE(f.Line({0x01}));
  ASSERT_TRUE(f.Blank(7));
  EXPECT_EQ(CountersOf(f.job), (Counters{4, 4, 4, 0, 1, 1}));
  ASSERT_TRUE(f.Line({0x02}, 2));
  EXPECT_EQ(CountersOf(f.job), (Counters{7, 11, 4, 7, 1, 1}));
  ASSERT_TRUE(f.Line({0x03}));
  EXPECT_EQ(CountersOf(f.job), (Counters{7, 11, 4, 0, 2, 3}));
}

TEST_F(LineCoder, LinesAreRefusedWhenNoPageIsOpen) {
  for (BYTE state : {PAGE_IDLE, PAGE_IGNORED}) {
    f.job.m_byState = state;
    f.job.m_nTotalLines = 4;
    f.job.m_nRunLines = 2;
    EXPECT_FALSE(f.Line({0xFF}));
    EXPECT_FALSE(f.Blank(1));
    EXPECT_FALSE(f.job.BlankLines(1));
    EXPECT_EQ(RunOf(f.job), (Counters{state, 2, 0, 0, 0}));
    EXPECT_EQ(f.job.m_nTotalLines, 4u);
    EXPECT_TRUE(f.job.m_Packages.IsEmpty());
  }
}

TEST_F(LineCoder, FailedFlushLeavesTheRunAndCountsAsTheyWere) {
  // A data line ending a blank run.
  ASSERT_TRUE(f.Blank(3));
  {
    qxtest::ChunkAllocFailure fail(0);
    EXPECT_FALSE(f.Line({0x0F}));
  }
  EXPECT_EQ(RunOf(f.job), (Counters{PAGE_BLANK_RUN, 3, MAX_LINE_BYTES, 0, 0}));
  EXPECT_EQ(f.job.m_nTotalLines, 3u);
  EXPECT_TRUE(f.trace.Contains("CPackageList::Append() alloc buffer failed!"));

  // A blank line and another data line ending a print run.
  ASSERT_TRUE(f.Line({0x0F}, 2));
  LeaveRoom(f.job.m_Packages, 0);
  const std::string before = Queued();
  {
    qxtest::ChunkAllocFailure fail(0);
    EXPECT_FALSE(f.Blank(1));
    EXPECT_FALSE(f.Line({0xF0}));
  }
  EXPECT_EQ(RunOf(f.job), (Counters{PAGE_PRINT_RUN, 2, 0, 1, 4}));
  EXPECT_EQ(f.job.m_nTotalLines, 5u);
  EXPECT_EQ(f.job.m_abyRunLine[0], 0x0F);
  EXPECT_EQ(Queued(), before);
}

// A run that cannot be sent whole is taken back whole: no part of it stays queued and nothing of
// it is booked, so a page end may try again; a line lost on the way marks the page damaged.
TEST_F(LineCoder, FailureInsideALongRunTakesBackItsEarlierPackages) {
  LeaveRoom(f.job.m_Packages, 6);
  const std::string before = Queued();
  ASSERT_TRUE(f.Blank(40000));
  {
    qxtest::ChunkAllocFailure fail(0);
    EXPECT_FALSE(f.Line({0xFF}));
  }
  EXPECT_EQ(Queued(), before);
  EXPECT_EQ(f.job.m_nSumLines, 0u);
  EXPECT_EQ(RunOf(f.job), (Counters{PAGE_BLANK_RUN, 40000, MAX_LINE_BYTES, 0, 0}));
  EXPECT_TRUE(f.job.m_bPageDamaged);

  // The same inside a long print run, whose second package opens a new chunk.
  ASSERT_TRUE(f.job.FlushBlankRun(40000));
  f.job.m_byState = PAGE_STARTED;
  ASSERT_TRUE(f.Line({0xFF}, 40000));
  f.job.m_Packages.Empty();
  LeaveRoom(f.job.m_Packages, 8);
  const std::string filled = Queued();
  {
    qxtest::ChunkAllocFailure fail(0);
    EXPECT_FALSE(f.Blank(1));
    EXPECT_EQ(fail.Requests(), 1);
  }
  EXPECT_EQ(Queued(), filled);
  EXPECT_EQ(f.job.m_Packages.Head(), f.job.m_Packages.Tail());
  EXPECT_EQ(f.job.m_nSumPrints, 0u);
  EXPECT_EQ(RunOf(f.job), (Counters{PAGE_PRINT_RUN, 40000, 0, 1, 8}));
  // Once memory is back, the run goes out whole.
  ASSERT_TRUE(f.job.FlushPrintRun(40000));
  EXPECT_EQ(Queued().substr(filled.size()),
            " 1F 21 04 FF FF 00 FF 88 1F 21 04 FF FF 00 FF 88 1F 21 04 DC 3F 00 FF 88");
}

TEST_F(LineCoder, RepeatedAndBlankLinesAllocateNothing) {
  const std::vector<BYTE> line = LineWith(5, {0xAA, 0x55});
  {
    qxtest::ChunkAllocFailure fail(0);
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(f.Line(line));
    EXPECT_EQ(fail.Requests(), 0);
  }
  qxtest::ChunkAllocFailure fail(1);
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(f.Blank(1));
  EXPECT_EQ(fail.Requests(), 1);  // the print run's one package
  EXPECT_EQ(Queued(), "1F 21 05 C3 E7 05 AA 55 88");
}

}  // namespace
