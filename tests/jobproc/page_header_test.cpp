#include <gtest/gtest.h>

#include "stream/packages.h"
#include "tests/support/chunk_alloc_failure.h"
#include "tests/support/job_fixture.h"

namespace {

using qxhost::PrinterValue;
using qxtest::Hex;
using qxtest::JobFixture;
using qxtest::ListBytes;

const char kBegin[] = "1F 20 00 88";
const char kEnd[] = "1F 28 00 88";

class PageHeader : public ::testing::Test {
 protected:
  // The header and trailer that PushPageEnd puts around an empty page.
  std::string Framed() {
    f.job.m_Packages.Empty();
    EXPECT_TRUE(f.job.PushPageEnd(&f.devobj));
    return Hex(ListBytes(f.job.m_Packages));
  }
  // The header packages between the dot limits (0, 0) and the trailer.
  std::string Settings() {
    const std::string all = Framed();
    const std::string head = std::string(kBegin) + " 1F 25 02 00 00 88";
    EXPECT_EQ(all.substr(0, head.size()), head);
    EXPECT_EQ(all.substr(all.size() - 11), kEnd);
    return all.size() == head.size() + 12 ? "" : all.substr(head.size() + 1, all.size() - head.size() - 13);
  }
  void Set(const char16_t* key, DWORD value) { qxhost::SetPrinterDword(f.printer, key, value); }

  JobFixture f;
};

// Line bytes only with a line width; dot limits as short numbers.
TEST_F(PageHeader, LineBytesAndDotLimits) {
  struct Case {
    LONG width;
    DWORD sf, le;
    const char* bytes;
  };
  for (const Case& c :
       {Case{0, 0, 0, "1F 25 02 00 00 88"}, Case{384, 0, 0, "1F 27 01 30 88 1F 25 02 00 00 88"},
        Case{1, 0, 0, "1F 27 01 01 88 1F 25 02 00 00 88"}, Case{0, 576, 576, "1F 25 04 C2 40 C2 40 88"},
        Case{0, 192, 191, "1F 25 03 C0 C0 BF 88"}, Case{0, 200, 114, "1F 25 03 C0 C8 72 88"}}) {
    f.job.m_nPageWidth = c.width;
    f.job.m_nMaxSfDots = c.sf;
    f.job.m_nMaxLEDots = c.le;
    EXPECT_EQ(Framed(), std::string(kBegin) + " " + c.bytes + " " + kEnd);
  }
  EXPECT_TRUE(f.trace.Contains("CJobProc::PushPageEnd(0)"));
}

TEST_F(PageHeader, DarknessAndSpeedWithinTheirRanges) {
  Set(u"PrintDarkness", 14);
  Set(u"PrintSpeed", 4);
  EXPECT_EQ(Settings(), "1F 43 01 0E 88 1F 44 01 04 88");
  Set(u"PrintDarkness", 15);
  Set(u"PrintSpeed", 5);
  EXPECT_EQ(Settings(), "");
  Set(u"PrintDarkness", 0);
  Set(u"PrintSpeed", 0);
  EXPECT_EQ(Settings(), "1F 43 01 00 88 1F 44 01 00 88");
}

TEST_F(PageHeader, GapTypeAndGapLength) {
  const int reads = qxhost::HostCalls().getPrinterData;
  Set(u"GapType", 0);
  Set(u"GapLength", 300);
  EXPECT_EQ(Settings(), "1F 42 01 00 88");
  EXPECT_EQ(qxhost::HostCalls().getPrinterData - reads, 3);  // GapLength is not read

  Set(u"GapType", 4);
  EXPECT_EQ(Settings(), "");
  qxhost::RemovePrinterValue(f.printer, u"GapType");
  EXPECT_EQ(Settings(), "");

  Set(u"GapType", 2);
  Set(u"GapLength", 0x3FFF);
  EXPECT_EQ(Settings(), "1F 42 01 02 88 1F 45 02 FF FF 88");
  Set(u"GapLength", 0x4000);
  EXPECT_EQ(Settings(), "1F 42 01 02 88");
  qxhost::RemovePrinterValue(f.printer, u"GapLength");
  EXPECT_EQ(Settings(), "1F 42 01 02 88");
}

TEST_F(PageHeader, ValueOfAnotherTypeOrTooLongCountsAsAbsent) {
  qxhost::SetPrinterValue(f.printer, u"PrintDarkness", PrinterValue{REG_BINARY, {3, 0, 0, 0}});
  qxhost::SetPrinterValue(f.printer, u"PrintSpeed", PrinterValue{REG_DWORD, {2, 0, 0, 0, 0, 0, 0, 0}});
  qxhost::SetPrinterValue(f.printer, u"GapType", PrinterValue{REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}});
  EXPECT_EQ(Settings(), "");
  qxhost::SetPrinterValue(f.printer, u"PrintSpeed", PrinterValue{REG_DWORD, {3}});
  EXPECT_EQ(Settings(), "1F 44 01 03 88");
}

TEST_F(PageHeader, ValuesAreReadAfreshAtEveryPage) {
  ASSERT_TRUE(f.StartJob(2));
  Set(u"PrintDarkness", 5);
  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.EndPage());
  Set(u"PrintDarkness", 9);
  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.EndPage());
  EXPECT_EQ(Hex(f.Spooled()),
            "1F 20 00 88 1F 25 02 00 00 88 1F 43 01 05 88 1F 28 00 88 "
            "1F 20 00 88 1F 25 02 00 00 88 1F 43 01 09 88 1F 28 00 88");
}

TEST_F(PageHeader, HeaderIsLinkedInFrontOfThePageWithoutCopying) {
  Set(u"PrintDarkness", 1);
  std::vector<BYTE> filler(4000, 0xEE);
  ASSERT_TRUE(PushPackage(f.job.m_Packages, 0x30, filler.data(), 4000));
  ASSERT_TRUE(PushPackage(f.job.m_Packages, 0x30, filler.data(), 100));
  const PackageChunk* pageFirst = f.job.m_Packages.Head();
  const PackageChunk* pageLast = f.job.m_Packages.Tail();
  ASSERT_TRUE(f.job.PushPageEnd(&f.devobj));
  const PackageChunk* header = f.job.m_Packages.Head();
  EXPECT_EQ(header->used, 15u);
  EXPECT_EQ(Hex(std::vector<BYTE>(header->data, header->data + header->used)),
            "1F 20 00 88 1F 25 02 00 00 88 1F 43 01 01 88");
  EXPECT_EQ(header->next, pageFirst);
  EXPECT_EQ(f.job.m_Packages.Tail(), pageLast);
  EXPECT_EQ(pageLast->used, 104u + 4);  // the trailer goes behind the page's packages
}

// A page that cannot be framed is dropped whole: nothing of it is left to go out unframed at the
// job's end or under the next page's header, and the loss waits to be reported.
TEST_F(PageHeader, AllocationFailureWhileBuildingTheHeaderDropsThePage) {
  ASSERT_TRUE(f.StartJob());
  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.Line({0x0F}, 3));
  ASSERT_TRUE(f.Blank(2));
  {
    qxtest::ChunkAllocFailure fail(0);
    EXPECT_FALSE(f.EndPage());
    EXPECT_EQ(fail.Requests(), 1);  // the last run's feed still fits; the header's chunk does not
  }
  EXPECT_TRUE(f.job.m_Packages.IsEmpty());
  EXPECT_EQ(f.job.m_byState, PAGE_IDLE);
  EXPECT_TRUE(f.job.TakePageLost());
  EXPECT_FALSE(f.job.TakePageLost());
  EXPECT_TRUE(f.Spooled().empty());
  EXPECT_TRUE(f.trace.Contains("CPackageList::Append() alloc buffer failed!"));
  EXPECT_TRUE(f.trace.Contains("CJobProc::EndPage(1) dropped: its header or trailer could not be built!"));
  EXPECT_FALSE(f.trace.Contains("========================"));
  EXPECT_EQ(f.trace.Count("CJobProc::PushPageEnd(1)"), 1u);
  // The job's end sends nothing of it.
  EXPECT_TRUE(f.job.EndJob(&f.devobj));
  EXPECT_TRUE(f.Spooled().empty());
}

TEST_F(PageHeader, FailedTrailerLeavesTheHeaderJoined) {
  std::vector<BYTE> filler(4096, 0);
  ASSERT_TRUE(PushPackage(f.job.m_Packages, 0x30, filler.data(), 4096 - 5 - 3));  // 3 bytes of room
  const PackageChunk* page = f.job.m_Packages.Head();
  qxtest::ChunkAllocFailure fail(1);
  EXPECT_FALSE(f.job.PushPageEnd(&f.devobj));
  EXPECT_EQ(f.job.m_Packages.Head()->next, page);
  EXPECT_EQ(f.job.m_Packages.Tail(), page);
  EXPECT_EQ(page->used, 4093u);
}

}  // namespace
