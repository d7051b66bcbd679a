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
  static void ExpectDefault(const OEM_DMEXTRAHEADER& section) {
    EXPECT_EQ(section.dwSize, 12u);
    EXPECT_EQ(section.dwSignature, OEM_SIGNATURE);
    EXPECT_EQ(section.dwVersion, 1u);
  }

  DEVMODEW publicDm = MakeDevMode(1000, 1500, false);
  OEM_DMEXTRAHEADER in{12, OEM_SIGNATURE, 0x77};
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

// Each mode writes the whole default section or, without what it needs, nothing at all; merge
// always leaves the default section.
TEST_F(DeviceModeTest, DefaultConvertAndMerge) {
  constexpr DWORD kUntouched = 0xEEEE;
  const std::string kBadDefault = "fill_default_oemdev(), ERROR_INVALID_PARAMETER.";
  const std::string kBadConvert = "convert_devmode(), ERROR_INVALID_PARAMETER.";
  const std::string kForeign = "Unknown DEVMODE signature, pOemDevIn ignored.";
  struct Case {
    const char* what;
    DWORD mode;
    bool publicIn, sectionIn;
    DWORD inSize, outSignature;
    DWORD bufSize;
    bool written;
    std::string trace;
  } cases[] = {
      {"default", OEMDM_DEFAULT, true, true, 12, OEM_SIGNATURE, 12, true, ""},
      {"default without public", OEMDM_DEFAULT, false, true, 12, OEM_SIGNATURE, 0, false, kBadDefault},
      {"convert", OEMDM_CONVERT, true, true, 12, OEM_SIGNATURE, 12, true, ""},
      {"convert of a short section reports its size", OEMDM_CONVERT, true, true, 8, OEM_SIGNATURE, 8, true,
       ""},
      {"convert of another kind", OEMDM_CONVERT, true, true, 12, kOther, 12, true, kForeign},
      {"convert without section", OEMDM_CONVERT, true, false, 12, OEM_SIGNATURE, 0, false, kBadConvert},
      {"merge", OEMDM_MERGE, true, true, 12, OEM_SIGNATURE, kUntouched, true, ""},
      {"merge without section", OEMDM_MERGE, true, false, 12, OEM_SIGNATURE, kUntouched, true, kBadConvert},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    trace.Clear();
    param.pPublicDMIn = c.publicIn ? &publicDm : nullptr;
    param.pOEMDMIn = c.sectionIn ? &in : nullptr;
    param.cbBufSize = kUntouched;
    in.dwSize = c.inSize;
    out = {0xDEAD, c.outSignature, 0xBEEF};
    EXPECT_EQ(DevMode(c.mode), S_OK);
    EXPECT_EQ(param.cbBufSize, c.bufSize);
    if (c.written) {
      ExpectDefault(out);
    } else {
      EXPECT_EQ(out.dwSize, 0xDEADu);
      EXPECT_EQ(out.dwVersion, 0xBEEFu);
    }
    if (c.trace.empty())
      EXPECT_TRUE(trace.Lines().empty());
    else
      EXPECT_TRUE(trace.Contains(c.trace));
  }
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

TEST_F(DeviceModeTest, ConvertJudgesKindByTheOutputSectionOnEntry) {
  // Both of a foreign kind, but the same one: taken over as it is, signature included.
  in = {12, kOther, 9};
  out = {12, kOther, 0};
  EXPECT_EQ(convert_devmode(&publicDm, &in, &out), 12u);
  EXPECT_EQ(out.dwSignature, kOther);
  EXPECT_EQ(out.dwVersion, 1u);
  EXPECT_FALSE(trace.Contains("Unknown DEVMODE signature, pOemDevIn ignored."));
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
