// The plug-in's private device-mode section: size, default, conversion and merge.
#include <gmock/gmock.h>

#include "plugin/oem_devmode.h"
#include "tests/plugin/plugin_fixture.h"

namespace qxtest {
namespace {

constexpr DWORD kOther = 0x58585858;  // "XXXX"

class DeviceModeTest : public PluginTest {
 protected:
  DeviceModeTest() {
    param.cbSize = sizeof(OEMDMPARAM);
    param.pPublicDMIn = &publicDm;
    param.pOEMDMIn = &in;
    param.pOEMDMOut = &out;
    param.cbBufSize = 0xEEEE;
  }
  HRESULT DevMode(DWORD mode) { return oem_devmode(mode, &param); }
  void ExpectDefault(const OEM_DMEXTRAHEADER& section) {
    EXPECT_EQ(section.dwSize, 12u);
    EXPECT_EQ(section.dwSignature, OEM_SIGNATURE);
    EXPECT_EQ(section.dwVersion, 1u);
  }

  DEVMODEW publicDm = MakeDevMode(1000, 1500, false);
  OEM_DMEXTRAHEADER in{12, OEM_SIGNATURE, 1};
  OEM_DMEXTRAHEADER out{0xDEAD, OEM_SIGNATURE, 0xBEEF};
  OEMDMPARAM param{};
};

TEST_F(DeviceModeTest, SizeIsTwelveBytesAndTouchesNothingElse) {
  param.pPublicDMIn = nullptr;
  param.pOEMDMIn = param.pOEMDMOut = nullptr;
  EXPECT_EQ(DevMode(OEMDM_SIZE), S_OK);
  EXPECT_EQ(param.cbBufSize, 12u);
  EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(DeviceModeTest, DefaultWithoutPublicDeviceModeWritesNothing) {
  param.pPublicDMIn = nullptr;
  out = {1, 2, 3};
  EXPECT_EQ(DevMode(OEMDM_DEFAULT), S_OK);
  EXPECT_EQ(param.cbBufSize, 0u);
  EXPECT_EQ(out.dwSize, 1u);
  EXPECT_TRUE(trace.Contains("fill_default_oemdev(), ERROR_INVALID_PARAMETER."));
}

TEST_F(DeviceModeTest, DefaultAndConvertWriteTheWholeSection) {
  EXPECT_EQ(DevMode(OEMDM_CONVERT), S_OK);
  EXPECT_EQ(param.cbBufSize, 12u);
  ExpectDefault(out);
  out = {};
  EXPECT_EQ(DevMode(OEMDM_DEFAULT), S_OK);
  EXPECT_EQ(param.cbBufSize, 12u);
  ExpectDefault(out);
}

TEST_F(DeviceModeTest, ConvertOfShortSectionReportsItsSize) {
  in.dwSize = 8;
  in.dwVersion = 0x77;
  EXPECT_EQ(DevMode(OEMDM_CONVERT), S_OK);
  EXPECT_EQ(param.cbBufSize, 8u);
  ExpectDefault(out);
}

TEST_F(DeviceModeTest, ConvertOfLongSectionTakesOnlyTwelveBytes) {
  struct {
    OEM_DMEXTRAHEADER header;
    BYTE more[28];
  } big{{40, OEM_SIGNATURE, 5}, {}};
  struct {
    OEM_DMEXTRAHEADER header;
    BYTE guard[4];
  } target{{0, OEM_SIGNATURE, 0}, {0xAB, 0xAB, 0xAB, 0xAB}};
  std::fill(std::begin(big.more), std::end(big.more), BYTE{0xCD});
  EXPECT_EQ(convert_devmode(&publicDm, &big.header, &target.header), 12u);
  ExpectDefault(target.header);
  EXPECT_THAT(target.guard, ::testing::Each(0xAB));
}

TEST_F(DeviceModeTest, ConvertIgnoresSectionOfAnotherKind) {
  out.dwSignature = kOther;
  EXPECT_EQ(DevMode(OEMDM_CONVERT), S_OK);
  EXPECT_EQ(param.cbBufSize, 12u);
  ExpectDefault(out);
  EXPECT_TRUE(trace.Contains("Unknown DEVMODE signature, pOemDevIn ignored."));
}

TEST_F(DeviceModeTest, ConvertJudgesKindByTheOutputSectionOnEntry) {
  // Both of a foreign kind, but the same one: taken over as it is, signature included.
  in = {12, kOther, 9};
  out = {12, kOther, 0};
  EXPECT_EQ(convert_devmode(&publicDm, &in, &out), 12u);
  EXPECT_EQ(out.dwSignature, kOther);
  EXPECT_EQ(out.dwVersion, 1u);
  EXPECT_FALSE(trace.Contains("Unknown DEVMODE signature, pOemDevIn ignored."));
}

TEST_F(DeviceModeTest, ConvertWithMissingSectionWritesNothing) {
  param.pOEMDMIn = nullptr;
  out = {1, 2, 3};
  EXPECT_EQ(DevMode(OEMDM_CONVERT), S_OK);
  EXPECT_EQ(param.cbBufSize, 0u);
  EXPECT_EQ(out.dwSize, 1u);
  EXPECT_TRUE(trace.Contains("convert_devmode(), ERROR_INVALID_PARAMETER."));
}

TEST_F(DeviceModeTest, MergeAlwaysLeavesDefaultSection) {
  param.pOEMDMIn = nullptr;
  out = {1, 2, 3};
  EXPECT_EQ(DevMode(OEMDM_MERGE), S_OK);
  EXPECT_TRUE(trace.Contains("convert_devmode(), ERROR_INVALID_PARAMETER."));
  ExpectDefault(out);
  EXPECT_EQ(param.cbBufSize, 0xEEEEu);

  param.pOEMDMIn = &in;
  in = {12, OEM_SIGNATURE, 5};
  EXPECT_EQ(DevMode(OEMDM_MERGE), S_OK);
  ExpectDefault(out);
}

TEST_F(DeviceModeTest, OtherModesAndMissingParametersAreRefused) {
  for (DWORD mode : {0u, 5u}) {
    SetLastError(0);
    EXPECT_EQ(DevMode(mode), E_FAIL);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  }
  SetLastError(0);
  EXPECT_EQ(oem_devmode(OEMDM_SIZE, nullptr), E_FAIL);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(trace.Count("DevMode(), ERROR_INVALID_PARAMETER."), 3u);
  EXPECT_EQ(param.cbBufSize, 0xEEEEu);
}

}  // namespace
}  // namespace qxtest
