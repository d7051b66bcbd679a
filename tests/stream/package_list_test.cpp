#include "stream/package_list.h"

#include <gtest/gtest.h>

#include "tests/support/chunk_alloc_failure.h"
#include "tests/support/trace_capture.h"

namespace {

size_t ChunkCount(const CPackageList& list) {
  size_t n = 0;
  for (const PackageChunk* c = list.Head(); c; c = c->next) ++n;
  return n;
}

TEST(PackageList, PackagesNeverStraddleTwoChunks) {
  qxtest::TraceCapture trace;
  CPackageList list;
  BYTE* at = list.Append(10);
  ASSERT_EQ(ChunkCount(list), 1u);
  EXPECT_EQ(at, list.Head()->data);
  EXPECT_EQ(list.Append(4080), list.Head()->data + 10);

  // 6 bytes left: 6 still fit, 7 open a new chunk and leave the old one's room unwritten.
  const PackageChunk* first = list.Head();
  at = list.Append(7);
  ASSERT_EQ(ChunkCount(list), 2u);
  EXPECT_EQ(first->used, 4090u);
  EXPECT_EQ(at, list.Tail()->data);
  EXPECT_EQ(list.Tail(), first->next);
  ASSERT_NE(list.Append(4089), nullptr);
  EXPECT_EQ(list.Tail()->used, PACKAGE_CHUNK_BYTES);
  EXPECT_EQ(list.UsedBytes(), 4090u + 4096);

  // More than a chunk can never fit: refused without a trace and without a new chunk.
  EXPECT_EQ(list.Append(PACKAGE_CHUNK_BYTES + 1), nullptr);
  EXPECT_EQ(list.Append(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(ChunkCount(list), 2u);
  EXPECT_TRUE(trace.Lines().empty());
}

TEST(PackageList, AllocationFailureIsTracedAndLeavesTheListAsItWas) {
  qxtest::TraceCapture trace;
  CPackageList list;
  {
    qxtest::ChunkAllocFailure fail(0);
    EXPECT_EQ(list.Append(8), nullptr);
    EXPECT_TRUE(list.IsEmpty());
  }
  ASSERT_NE(list.Append(4000), nullptr);
  {
    qxtest::ChunkAllocFailure fail(0);
    EXPECT_NE(list.Append(96), nullptr);  // still fits: no allocation needed
    EXPECT_EQ(list.Append(1), nullptr);
    EXPECT_EQ(fail.Requests(), 1);
  }
  EXPECT_EQ(ChunkCount(list), 1u);
  EXPECT_EQ(list.Head(), list.Tail());
  EXPECT_EQ(list.UsedBytes(), 4096u);
  EXPECT_EQ(trace.Messages(),
            std::vector<std::string>(2, "[ERR]  CPackageList::Append() alloc buffer failed!"));
}

TEST(PackageList, EmptyFreesEverythingAndIsSafeOnAnEmptyList) {
  CPackageList list;
  list.Empty();
  for (int i = 0; i < 3; ++i) ASSERT_NE(list.Append(4000), nullptr);
  list.Empty();
  EXPECT_EQ(list.Head(), nullptr);
  EXPECT_EQ(list.Tail(), nullptr);
  EXPECT_EQ(list.UsedBytes(), 0u);
  list.Empty();
  ASSERT_NE(list.Append(1), nullptr);
  EXPECT_EQ(ChunkCount(list), 1u);
}

TEST(PackageList, JoinInFrontLinksChunksWithoutCopying) {
  CPackageList page, header, nothing;
  header.Append(12)[0] = 0x1F;
  const PackageChunk* headerChunk = header.Head();
  page.JoinInFront(header);  // onto an empty list: the header is the whole list
  EXPECT_TRUE(header.IsEmpty());
  EXPECT_EQ(page.Head(), headerChunk);
  EXPECT_EQ(page.Tail(), headerChunk);

  CPackageList next;
  ASSERT_NE(next.Append(4000), nullptr);
  ASSERT_NE(next.Append(200), nullptr);
  const PackageChunk* pageFirst = next.Head();
  const PackageChunk* pageLast = next.Tail();
  next.JoinInFront(page);
  EXPECT_TRUE(page.IsEmpty());
  EXPECT_EQ(next.Head(), headerChunk);
  EXPECT_EQ(headerChunk->next, pageFirst);
  EXPECT_EQ(next.Tail(), pageLast);
  EXPECT_EQ(headerChunk->data[0], 0x1F);
  EXPECT_EQ(next.UsedBytes(), 4212u);
  next.JoinInFront(nothing);
  EXPECT_EQ(next.Head(), headerChunk);
}

}  // namespace
