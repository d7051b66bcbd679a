#include "stream/packages.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/chunk_alloc_failure.h"
#include "tests/support/job_fixture.h"

namespace {

using qxtest::Hex;
using qxtest::ListBytes;

std::string Number(BYTE command, WORD value) {
  CPackageList list;
  EXPECT_TRUE(PushNumber(list, command, value));
  return Hex(ListBytes(list));
}

TEST(PushNumber, ShortNumbersTakeOneByteBelow192AndTwoFrom192) {
  EXPECT_EQ(Number(CMD_FEED_LINES, 0), "1F 22 01 00 88");
  EXPECT_EQ(Number(CMD_FEED_LINES, 99), "1F 22 01 63 88");
  EXPECT_EQ(Number(CMD_FEED_LINES, 191), "1F 22 01 BF 88");
  EXPECT_EQ(Number(CMD_FEED_LINES, 192), "1F 22 02 C0 C0 88");
  EXPECT_EQ(Number(CMD_FEED_LINES, 0x3FFF), "1F 22 02 FF FF 88");
  EXPECT_EQ(Number(CMD_LINE_BYTES, 72), "1F 27 01 48 88");
  EXPECT_EQ(Number(CMD_GAP_LENGTH, 300), "1F 45 02 C1 2C 88");
}

TEST(PushPackage, PayloadLengthIsAShortNumberToo) {
  CPackageList empty;
  ASSERT_TRUE(PushPackage(empty, CMD_PAGE_BEGIN, nullptr, 0));
  EXPECT_EQ(Hex(ListBytes(empty)), "1F 20 00 88");

  std::vector<BYTE> payload(192);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<BYTE>(i);
  for (DWORD length : {191u, 192u}) {
    CPackageList list;
    ASSERT_TRUE(PushPackage(list, 0x30, payload.data(), length));
    std::vector<BYTE> bytes = ListBytes(list);
    const size_t head = length < 192 ? 3 : 4;
    ASSERT_EQ(bytes.size(), length + head + 1);
    EXPECT_EQ(Hex({bytes.begin(), bytes.begin() + 5}), length < 192 ? "1F 30 BF 00 01" : "1F 30 C0 C0 00");
    EXPECT_EQ(bytes[bytes.size() - 2], length - 1);
    EXPECT_EQ(bytes.back(), 0x88);
  }
}

TEST(PushPrintLines, RepeatOffsetAndDataSpan) {
  const BYTE data[] = {0xFF, 0x00, 0x0F};
  CPackageList once;
  ASSERT_TRUE(PushPrintLinesPackage(once, 10, data, 3, 0));
  EXPECT_EQ(Hex(ListBytes(once)), "1F 21 05 00 0A FF 00 0F 88");
  CPackageList repeated;
  ASSERT_TRUE(PushPrintLinesPackage(repeated, 10, data, 3, 299));
  EXPECT_EQ(Hex(ListBytes(repeated)), "1F 21 06 C1 2B 0A FF 00 0F 88");
  CPackageList far;
  ASSERT_TRUE(PushPrintLinesPackage(far, 200, data, 1, 0x3FFF));
  EXPECT_EQ(Hex(ListBytes(far)), "1F 21 05 FF FF C0 C8 FF 88");
}

TEST(Writers, OversizedOrMissingPayloadIsRefusedWithoutWriting) {
  CPackageList list;
  std::vector<BYTE> payload(8, 0x55);
  EXPECT_FALSE(PushPackage(list, 0x30, payload.data(), PACKAGE_CHUNK_BYTES));
  EXPECT_FALSE(PushPackage(list, 0x30, payload.data(), 0xFFFFFFFFu));
  EXPECT_FALSE(PushPackage(list, 0x30, nullptr, 3));
  EXPECT_FALSE(PushPrintLinesPackage(list, 0, payload.data(), 0xFFFFFFFEu, 0));
  EXPECT_FALSE(PushPrintLinesPackage(list, 0, nullptr, 3, 0));
  EXPECT_TRUE(list.IsEmpty());
}

TEST(Writers, AllocationFailureWritesNothingAndKeepsEarlierPackages) {
  qxtest::TraceCapture trace;
  CPackageList list;
  ASSERT_TRUE(PushNumber(list, CMD_FEED_LINES, 1));
  std::vector<BYTE> filler(4082, 0);  // leaves 4 bytes of room
  ASSERT_TRUE(PushPackage(list, 0x30, filler.data(), static_cast<DWORD>(filler.size())));
  const std::vector<BYTE> before = ListBytes(list);
  {
    qxtest::ChunkAllocFailure fail(0);
    const BYTE data[] = {1, 2, 3, 4};
    EXPECT_FALSE(PushNumber(list, CMD_FEED_LINES, 0));
    EXPECT_FALSE(PushPrintLinesPackage(list, 0, data, 4, 0));
    EXPECT_TRUE(PushPackage(list, CMD_PAGE_END, nullptr, 0));  // 4 bytes still fit
  }
  std::vector<BYTE> after = ListBytes(list);
  ASSERT_EQ(after.size(), before.size() + 4);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
  EXPECT_EQ(trace.Count("CPackageList::Append() alloc buffer failed!"), 2u);
}

}  // namespace
