// The hooks that only pass GDI's calls on to the driver, and every hook whose driver function
// is missing.
#include <gmock/gmock.h>

#include "tests/plugin/plugin_fixture.h"

namespace qxtest {
namespace {

class ForwardingHookTest : public PluginTest {
 protected:
  PluginDevice dev{printer};
};

TEST_F(ForwardingHookTest, DrawingCallsReachDriverWithTheirArgumentsAndResult) {
  SURFOBJ* pso = dev.pso();
  EXPECT_EQ(qxhooks::DrvBitBlt(pso, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, 0xCC),
            TRUE);
  EXPECT_EQ(qxhooks::DrvStretchBlt(pso, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, 3),
            TRUE);
  EXPECT_EQ(qxhooks::DrvTextOut(pso, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                0x0D0D),
            TRUE);
  dev.device.FailDdi(INDEX_DrvStrokePath);
  EXPECT_EQ(qxhooks::DrvStrokePath(pso, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0x0B0B), FALSE);
  POINTL point{};
  EXPECT_EQ(qxhooks::DrvStartBanding(pso, &point), TRUE);

  const auto& calls = dev.device.Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].index, ULONG{INDEX_DrvBitBlt});
  EXPECT_EQ(calls[0].lastArg, 0xCCu);
  EXPECT_EQ(calls[1].lastArg, 3u);
  EXPECT_EQ(calls[2].lastArg, 0x0D0Du);
  EXPECT_EQ(calls[3].lastArg, 0x0B0Bu);
  EXPECT_EQ(calls[4].index, ULONG{INDEX_DrvStartBanding});
  for (const auto& call : calls) EXPECT_EQ(call.surface, pso);
  // Forwarding touches no job state.
  EXPECT_EQ(dev.Job().m_dwPage, 0u);
  EXPECT_EQ(dev.Job().m_byState, PAGE_IDLE);
}

TEST_F(ForwardingHookTest, DitherColorReturnsDriverValueUnchanged) {
  ULONG result = 0;
  dev.device.SetDitherResult(DCR_HALFTONE);
  EXPECT_EQ(qxhooks::DrvDitherColor(dev.device.Handle(), 0, 0x123456, &result), ULONG{DCR_HALFTONE});
  dev.device.SetDitherResult(DCR_DRIVER);
  EXPECT_EQ(qxhooks::DrvDitherColor(dev.device.Handle(), 0, 0x123456, &result), ULONG{DCR_DRIVER});
  EXPECT_EQ(result, 0x123456u);
  EXPECT_EQ(dev.device.Calls().back().lastArg, 0x123456u);
}

// A driver table without the hooked entries, or a device the plug-in never enabled: every hook
// fails instead of calling through null, and the driver is not reached.
TEST_F(PluginTest, HooksWithoutDriverEntryOrDeviceStateFail) {
  AddJob(7);
  PluginDevice noEntries(printer, 24, std::vector<DRVFN>{});
  qxhost::UnidrvDevice noState(printer);
  char16_t name[] = u"doc";
  for (qxhost::UnidrvDevice* device : {&noEntries.device, &noState}) {
    SCOPED_TRACE(device == &noState ? "without state" : "without entries");
    SURFOBJ* pso = device->Surface();
    POINTL point{};
    EXPECT_EQ(qxhooks::DrvBitBlt(pso, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, 0),
              FALSE);
    EXPECT_EQ(qxhooks::DrvStartBanding(pso, &point), FALSE);
    EXPECT_EQ(qxhooks::DrvNextBand(pso, &point), FALSE);
    EXPECT_EQ(qxhooks::DrvStartDoc(pso, name, 7), FALSE);
    EXPECT_EQ(qxhooks::DrvStartPage(pso), FALSE);
    EXPECT_EQ(qxhooks::DrvSendPage(pso), FALSE);
    EXPECT_EQ(qxhooks::DrvEndDoc(pso, 0), FALSE);
    EXPECT_EQ(qxhooks::DrvDitherColor(device->Handle(), 0, 0, nullptr), ULONG{DITHER_COLOR_FAILED});
    EXPECT_TRUE(device->Calls().empty());
  }
  EXPECT_EQ(qxhooks::DrvStartPage(nullptr), FALSE);
  EXPECT_TRUE(trace.Contains("DrvBitBlt() no saved driver entry point!"));
  EXPECT_TRUE(trace.Contains("DrvDitherColor() no saved driver entry point!"));
  EXPECT_TRUE(trace.Contains("DrvStartPage() no saved driver entry point!"));
  EXPECT_TRUE(trace.Contains("DrvStartPage() without plug-in device state!"));
  // A page start the driver cannot complete starts no job either.
  EXPECT_EQ(qxhost::HostCalls().getJob, 0);
}

}  // namespace
}  // namespace qxtest
