// The plug-in object's answers to the driver: identity, signature, implemented methods, hook
// table, the device state with its saved entry points and palette, and the bands.
#include <gmock/gmock.h>

#include <cstring>

#include "host/driver_services.h"
#include "tests/plugin/plugin_fixture.h"

namespace qxtest {
namespace {

class PluginObjectTest : public PluginTest {
 protected:
  ~PluginObjectTest() override { plugin->Release(); }
  IOEMUni* plugin = new IOEMUni;
};

TEST_F(PluginObjectTest, GetInfoWritesValueAndSizeOrOnlyTheSize) {
  DWORD value = 0;
  DWORD needed = 0;
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, &value, 4, &needed), S_OK);
  EXPECT_EQ(std::memcmp(&value, "QXVN", 4), 0);
  EXPECT_EQ(needed, 4u);
  value = 0;
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETINTERFACEVERSION, &value, 4, nullptr), S_OK);
  EXPECT_EQ(value, 1u);
  // Too small a buffer learns only the size.
  BYTE buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  needed = 0;
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETVERSION, buffer, 2, &needed), S_OK);
  EXPECT_EQ(needed, 4u);
  EXPECT_THAT(buffer, ::testing::Each(0xAA));
}

TEST_F(PluginObjectTest, GetInfoRefusesOtherModesAndNowhereToAnswer) {
  for (DWORD mode : {DWORD{OEMGI_GETPUBLISHERINFO}, DWORD{0}}) {
    DWORD needed = 99;
    DWORD value = 0;
    SetLastError(0);
    EXPECT_EQ(plugin->GetInfo(mode, &value, 4, &needed), E_FAIL);
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_SUPPORTED});
  }
  EXPECT_EQ(trace.Count("IOEMUni::GetInfo() exit mode not supported."), 2u);
  SetLastError(0);
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, nullptr, 0, nullptr), E_FAIL);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_TRUE(trace.Contains("IOEMUni::GetInfo() exit pcbNeeded is NULL! ERROR_INVALID_PARAMETER."));
}

TEST_F(PluginObjectTest, ImplementsExactlyImageProcessingAndFilterGraphics) {
  auto ask = [&](const char* name) {
    std::string copy(name);
    return plugin->GetImplementedMethod(copy.data());
  };
  EXPECT_EQ(ask("ImageProcessing"), S_OK);
  EXPECT_EQ(ask("FilterGraphics"), S_OK);
  for (const char* other : {"imageprocessing", "FILTERGRAPHICS", "ImageProcessingX", "FilterGraphics ",
                            "Compression", "CommandCallback", ""})
    EXPECT_EQ(ask(other), S_FALSE) << other;
  EXPECT_EQ(plugin->GetImplementedMethod(nullptr), S_FALSE);
}

TEST_F(PluginObjectTest, QueryInterfaceServesOnlyItsOwnInterface) {
  void* out = nullptr;
  EXPECT_EQ(plugin->QueryInterface(IID_IPrintOemUni, &out), S_OK);
  EXPECT_EQ(out, static_cast<IPrintOemUni*>(plugin));
  EXPECT_EQ(plugin->Release(), 1u);
  EXPECT_EQ(plugin->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(plugin->Release(), 1u);
  for (const IID& other : {IID_IPrintOemDriverUni, IID_IClassFactory}) {
    out = &out;
    EXPECT_EQ(plugin->QueryInterface(other, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(plugin->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(PluginObjectTest, EnableDriverHandsOutHookTable) {
  DRVENABLEDATA ded{};
  EXPECT_EQ(plugin->EnableDriver(0, 0, &ded), S_OK);
  EXPECT_EQ(ded.iDriverVersion, ULONG{DDI_DRIVER_VERSION_NT5});
  ASSERT_EQ(ded.c, 11u);
  std::vector<ULONG> indexes;
  for (ULONG i = 0; i < ded.c; ++i) indexes.push_back(ded.pdrvfn[i].iFunc);
  EXPECT_THAT(indexes, ::testing::ElementsAre(18, 20, 23, 14, 33, 32, 35, 34, 58, 57, 13));
  EXPECT_EQ(ded.pdrvfn[4].pfn, ToPfn(&qxhooks::DrvStartPage));
  EXPECT_EQ(plugin->EnableDriver(0, 0, nullptr), E_POINTER);
}

TEST_F(PluginObjectTest, DriverServicesAreHeldOnceAndReleased) {
  qxhost::DriverServices services;
  EXPECT_EQ(plugin->PublishDriverInterface(&services), S_OK);
  EXPECT_EQ(services.References(), 1);
  qxhost::DriverServices second;
  EXPECT_EQ(plugin->PublishDriverInterface(&second), S_OK);
  EXPECT_EQ(second.References(), 0);
  EXPECT_EQ(plugin->DriverUni(), &services);
  EXPECT_EQ(plugin->DisableDriver(), S_OK);
  EXPECT_EQ(services.References(), 0);
  EXPECT_EQ(plugin->DriverUni(), nullptr);
  EXPECT_EQ(services.ServiceCalls(), 0);

  qxhost::DriverServices withoutDriverUni(false);
  EXPECT_EQ(plugin->PublishDriverInterface(&withoutDriverUni), E_FAIL);
  EXPECT_EQ(plugin->DriverUni(), nullptr);
}

TEST(PluginObjectLifetime, FinalReleaseDropsDriverServices) {
  qxhost::DriverServices services;
  auto* plugin = new IOEMUni;
  ASSERT_EQ(plugin->PublishDriverInterface(&services), S_OK);
  EXPECT_EQ(plugin->AddRef(), 2u);
  EXPECT_EQ(plugin->Release(), 1u);
  EXPECT_EQ(services.References(), 1);
  EXPECT_EQ(plugin->Release(), 0u);
  EXPECT_EQ(services.References(), 0);
}

class DeviceStateTest : public PluginObjectTest {
 protected:
  HRESULT Enable(qxhost::UnidrvDevice& device) { return device.Enable(plugin); }
  static POEMPDEV StateOf(qxhost::UnidrvDevice& device) {
    return static_cast<POEMPDEV>(device.Devobj().pdevOEM);
  }
};

TEST_F(DeviceStateTest, SavesFirstMatchingEntryAndNullForMissingOnes) {
  qxhost::UnidrvDevice device(printer);
  PFN first = qxhost::UnidrvDevice::DriverFunction(INDEX_DrvStartPage);
  PFN second = qxhost::UnidrvDevice::DriverFunction(INDEX_DrvSendPage);
  device.SetDdiTable({{INDEX_DrvStartPage, first},
                      {99, second},
                      {INDEX_DrvStartPage, second},
                      {INDEX_DrvBitBlt, qxhost::UnidrvDevice::DriverFunction(INDEX_DrvBitBlt)}});
  ASSERT_EQ(Enable(device), S_OK);
  POEMPDEV state = StateOf(device);
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->m_pfnStartPage, first);
  EXPECT_EQ(state->m_pfnBitBlt, qxhost::UnidrvDevice::DriverFunction(INDEX_DrvBitBlt));
  EXPECT_EQ(state->m_pfnDitherColor, nullptr);
  EXPECT_EQ(state->m_pfnSendPage, nullptr);
  EXPECT_EQ(state->m_JobProc.m_byGrayThreshold, 150);
  device.Disable(plugin);
}

TEST_F(DeviceStateTest, TrueColourDevicesGetBlueGreenRedPaletteEightBitKeepsItsOwn) {
  for (WORD bits : {WORD{8}, WORD{24}, WORD{32}}) {
    SCOPED_TRACE(bits);
    qxhost::UnidrvDevice device(printer, bits);
    HPALETTE old = device.DevInfo().hpalDefault;
    const int created = qxhost::HostCalls().createPalette;
    ASSERT_TRUE(qxhost::IsLivePalette(old));
    ASSERT_EQ(Enable(device), S_OK);
    HPALETTE now = device.DevInfo().hpalDefault;
    EXPECT_EQ(StateOf(device)->m_hPalette, now);
    if (bits == 8) {
      EXPECT_EQ(now, old);
      EXPECT_EQ(qxhost::HostCalls().createPalette, created);
    } else {
      EXPECT_FALSE(qxhost::IsLivePalette(old));
      EXPECT_EQ(qxhost::PaletteMode(now), ULONG{PAL_BGR});
    }
    EXPECT_EQ(device.Disable(plugin), S_OK);
    // The device state does not own the palette.
    EXPECT_TRUE(qxhost::IsLivePalette(now));
  }
}

TEST_F(DeviceStateTest, EnableWithoutTablesFailsCleanly) {
  qxhost::UnidrvDevice device(printer);
  auto enable = [&](PDRVENABLEDATA table, PDEVOEM* state) {
    return plugin->EnablePDEV(&device.Devobj(), nullptr, 0, nullptr, sizeof(GDIINFO), &device.GdiInfo(),
                              sizeof(DEVINFO), &device.DevInfo(), table, state);
  };
  PDEVOEM state = &state;
  EXPECT_EQ(enable(nullptr, &state), E_FAIL);
  EXPECT_EQ(state, nullptr);
  DRVENABLEDATA broken{DDI_DRIVER_VERSION_NT5, 3, nullptr};
  EXPECT_EQ(enable(&broken, &state), E_FAIL);
  EXPECT_EQ(enable(device.DdiTable(), nullptr), E_FAIL);
  EXPECT_TRUE(trace.Contains("OEMEnablePDEV(), ERROR_INVALID_PARAMETER."));
}

TEST_F(DeviceStateTest, DisableTwiceIsHarmless) {
  qxhost::UnidrvDevice device(printer);
  ASSERT_EQ(Enable(device), S_OK);
  EXPECT_EQ(device.Disable(plugin), S_OK);
  EXPECT_EQ(device.Devobj().pdevOEM, nullptr);
  EXPECT_EQ(device.Disable(plugin), S_OK);
  EXPECT_EQ(plugin->DisablePDEV(nullptr), S_OK);
}

TEST_F(DeviceStateTest, ImageProcessingHandsBandBackOrFails) {
  BYTE pixels[12] = {};
  BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), 4, 1, 1, 24, BI_RGB, 12, 0, 0, 0, 0};
  IPPARAMS params{sizeof(IPPARAMS), {0, 0}, nullptr, FALSE, FALSE};
  PBYTE result = pixels;
  auto process = [&](PDEVOBJ devobj, DWORD callbackId) {
    return plugin->ImageProcessing(devobj, pixels, &header, nullptr, callbackId, &params, &result);
  };
  AddJob(7);
  qxhost::UnidrvDevice device(printer);
  EXPECT_EQ(process(&device.Devobj(), 5), E_FAIL);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(process(nullptr, 5), E_FAIL);
  EXPECT_TRUE(trace.Contains("IOEMUni::ImageProcessing() without plug-in device state!"));

  ASSERT_EQ(Enable(device), S_OK);
  char16_t name[] = u"doc";
  ASSERT_TRUE(qxhooks::DrvStartDoc(device.Surface(), name, 7));
  ASSERT_TRUE(qxhooks::DrvStartPage(device.Surface()));
  EXPECT_EQ(process(&device.Devobj(), 5), S_OK);
  EXPECT_EQ(result, pixels);
  // A callback id the rasteriser does not know is a refused band.
  EXPECT_EQ(process(&device.Devobj(), 7), E_FAIL);
  EXPECT_EQ(result, nullptr);
  qxhooks::DrvEndDoc(device.Surface(), ED_ABORTDOC);
  device.Disable(plugin);
}

}  // namespace
}  // namespace qxtest
