#include "stream/package_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/chunk_alloc_failure.h"
#include "tests/support/job_fixture.h"
#include "tests/support/trace_capture.h"

namespace {

using qxtest::ChunkAllocFailure;
using qxtest::TraceCapture;

size_t ChunkCount(const CPackageList& list) {
  size_t n = 0;
  for (const PackageChunk* c = list.Head(); c; c = c->next) ++n;
  return n;
}

TEST(PackageList, FirstAppendCreatesTheFirstChunk) {
  CPackageList list;
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.Head(), nullptr);
  EXPECT_EQ(list.Tail(), nullptr);
  BYTE* at = list.Append(10);
  ASSERT_NE(at, nullptr);
  ASSERT_EQ(ChunkCount(list), 1u);
  EXPECT_EQ(list.Head(), list.Tail());
  EXPECT_EQ(at, list.Head()->data);
  EXPECT_EQ(list.Head()->used, 10u);
  EXPECT_EQ(list.Append(6), list.Head()->data + 10);
  EXPECT_EQ(list.UsedBytes(), 16u);
}

TEST(PackageList, ARequestThatDoesNotFitOpensANewChunk) {
  CPackageList list;
  ASSERT_NE(list.Append(4090), nullptr);
  const PackageChunk* first = list.Head();
  BYTE* at = list.Append(7);
  ASSERT_NE(at, nullptr);
  ASSERT_EQ(ChunkCount(list), 2u);
  // The old chunk keeps its 6 free bytes unwritten; the package starts the new one.
  EXPECT_EQ(first->used, 4090u);
  EXPECT_EQ(list.Tail(), first->next);
  EXPECT_EQ(at, list.Tail()->data);
  EXPECT_EQ(list.Tail()->used, 7u);
  EXPECT_EQ(list.UsedBytes(), 4097u);
}

TEST(PackageList, ARequestThatFillsTheChunkExactlyStaysInIt) {
  CPackageList list;
  ASSERT_NE(list.Append(4000), nullptr);
  ASSERT_NE(list.Append(96), nullptr);
  EXPECT_EQ(ChunkCount(list), 1u);
  EXPECT_EQ(list.Head()->used, PACKAGE_CHUNK_BYTES);
  ASSERT_NE(list.Append(1), nullptr);
  EXPECT_EQ(ChunkCount(list), 2u);
}

TEST(PackageList, RequestLargerThanAChunkFailsSilently) {
  TraceCapture trace;
  CPackageList list;
  EXPECT_EQ(list.Append(PACKAGE_CHUNK_BYTES + 1), nullptr);
  EXPECT_TRUE(list.IsEmpty());
  ASSERT_NE(list.Append(PACKAGE_CHUNK_BYTES), nullptr);
  EXPECT_EQ(list.Append(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(ChunkCount(list), 1u);
  EXPECT_TRUE(trace.Lines().empty());
}

TEST(PackageList, AllocationFailureIsTracedAndLeavesTheListAsItWas) {
  TraceCapture trace;
  CPackageList list;
  {
    ChunkAllocFailure fail(0);
    EXPECT_EQ(list.Append(8), nullptr);
    EXPECT_TRUE(list.IsEmpty());
  }
  ASSERT_NE(list.Append(4000), nullptr);
  {
    ChunkAllocFailure fail(0);
    EXPECT_NE(list.Append(96), nullptr);  // still fits: no allocation needed
    EXPECT_EQ(list.Append(1), nullptr);
    EXPECT_EQ(fail.Requests(), 1);
  }
  EXPECT_EQ(ChunkCount(list), 1u);
  EXPECT_EQ(list.Head(), list.Tail());
  EXPECT_EQ(list.UsedBytes(), 4096u);
  ASSERT_EQ(trace.Messages().size(), 2u);
  for (const auto& m : trace.Messages()) EXPECT_EQ(m, "[ERR]  CPackageList::Append() alloc buffer failed!");
}

TEST(PackageList, EmptyFreesEverythingAndIsSafeTwice) {
  CPackageList list;
  list.Empty();
  EXPECT_TRUE(list.IsEmpty());
  for (int i = 0; i < 3; ++i) ASSERT_NE(list.Append(4000), nullptr);
  EXPECT_EQ(ChunkCount(list), 3u);
  list.Empty();
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.Tail(), nullptr);
  EXPECT_EQ(list.UsedBytes(), 0u);
  list.Empty();
  ASSERT_NE(list.Append(1), nullptr);
  EXPECT_EQ(ChunkCount(list), 1u);
}

TEST(PackageList, JoinInFrontLinksChunksWithoutCopying) {
  CPackageList page;
  CPackageList header;
  BYTE* pageBytes = page.Append(4000);
  pageBytes[0] = 0xAA;
  ASSERT_NE(page.Append(200), nullptr);
  const PackageChunk* pageFirst = page.Head();
  const PackageChunk* pageLast = page.Tail();
  header.Append(32)[0] = 0x1F;
  const PackageChunk* headerChunk = header.Head();

  page.JoinInFront(header);
  EXPECT_TRUE(header.IsEmpty());
  EXPECT_EQ(header.Tail(), nullptr);
  EXPECT_EQ(page.Head(), headerChunk);
  EXPECT_EQ(headerChunk->next, pageFirst);
  EXPECT_EQ(page.Tail(), pageLast);
  EXPECT_EQ(pageFirst->data[0], 0xAA);
  EXPECT_EQ(page.UsedBytes(), 4232u);
  // New packages go behind the page's own, not into the header chunk.
  ASSERT_NE(page.Append(4), nullptr);
  EXPECT_EQ(page.Tail(), pageLast);
  EXPECT_EQ(headerChunk->used, 32u);
}

TEST(PackageList, JoinInFrontOfAnEmptyListMakesTheHeaderTheWholeList) {
  CPackageList page;
  CPackageList header;
  ASSERT_NE(header.Append(12), nullptr);
  const PackageChunk* headerChunk = header.Head();
  page.JoinInFront(header);
  EXPECT_EQ(page.Head(), headerChunk);
  EXPECT_EQ(page.Tail(), headerChunk);
  ASSERT_NE(page.Append(4), nullptr);
  EXPECT_EQ(headerChunk->used, 16u);

  CPackageList nothing;
  page.JoinInFront(nothing);
  EXPECT_EQ(page.Head(), headerChunk);
}

}  // namespace
