// One device context of the stand-in driver with the plug-in enabled on it, in process: the
// plug-in object, its device state, and a printer holding job records.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "host/services/host_services.h"
#include "host/unidrv_device.h"
#include "plugin/ddi_hooks.h"
#include "plugin/oem_uni.h"
#include "tests/support/job_fixture.h"
#include "tests/support/trace_capture.h"

namespace qxtest {

class PluginDevice {
 public:
  // `ddiTable`, when given, replaces the driver's own table of hooked functions.
  explicit PluginDevice(HANDLE printer, WORD bitsPerPixel = 24,
                        std::optional<std::vector<DRVFN>> ddiTable = std::nullopt)
      : device(printer, bitsPerPixel) {
    if (ddiTable) device.SetDdiTable(std::move(*ddiTable));
    plugin = new IOEMUni;
    EXPECT_EQ(device.Enable(plugin), S_OK);
  }
  ~PluginDevice() {
    device.Disable(plugin);
    plugin->Release();
  }
  PluginDevice(const PluginDevice&) = delete;
  PluginDevice& operator=(const PluginDevice&) = delete;

  POEMPDEV State() { return static_cast<POEMPDEV>(device.Devobj().pdevOEM); }
  CJobProc& Job() { return State()->m_JobProc; }
  SURFOBJ* pso() { return device.Surface(); }

  qxhost::UnidrvDevice device;
  IOEMUni* plugin;
};

class PluginTest : public ::testing::Test {
 protected:
  PluginTest() : printer(qxhost::CreatePrinter()) {
    g_dwLastJobId.store(0);
    qxhost::HostFailures() = {};
    qxhost::HostCalls() = {};
  }
  ~PluginTest() override {
    qxhost::HostFailures() = {};
    qxhost::DeletePrinter(printer);
  }

  // A job record of `totalPages` pages on a standard 100 x 150 mm label.
  void AddJob(DWORD jobId, DWORD totalPages = 1, SHORT copies = 1) {
    qxhost::JobRecord record;
    record.totalPages = totalPages;
    record.devMode = MakeDevMode(1000, 1500, false, copies);
    qxhost::SetJob(printer, jobId, record);
  }

  TraceCapture trace;
  HANDLE printer;
};

}  // namespace qxtest
