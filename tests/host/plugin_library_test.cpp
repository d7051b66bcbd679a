// The plug-in library as a host finds it: its exports, its class factory, and loading errors.
#include "host/plugin_library.h"

#include <dlfcn.h>
#include <gmock/gmock.h>

#include "host/driver_host.h"
#include "platform/printoem_com.h"

namespace qxtest {
namespace {

using ::testing::HasSubstr;

TEST(PluginLibraryTest, ExportsOnlyTheThreeEntryPoints) {
  void* handle = dlopen(qxhost::BuiltPluginPath(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  for (const char* name : {"DllCanUnloadNow", "DllCanUploadNow", "DllGetClassObject"})
    EXPECT_NE(dlsym(handle, name), nullptr) << name;
  for (const char* name : {"DllMain", "g_dwLastJobId", "g_lObjects", "g_lServerLocks", "fill_default_oemdev",
                           "_ZN8CJobProc9StartPageEP7_DEVOBJj"})
    EXPECT_EQ(dlsym(handle, name), nullptr) << name;
  dlclose(handle);
}

TEST(PluginLibraryTest, FactoryAndObjectThroughTheLoadedLibrary) {
  std::string error;
  auto library = qxhost::PluginLibrary::Load(qxhost::BuiltPluginPath(), &error);
  ASSERT_NE(library, nullptr) << error;
  EXPECT_EQ(library->CanUploadNow(0x0000FFFF), 0xFFFF0000u);

  void* out = nullptr;
  ASSERT_EQ(library->GetClassObject(CLSID_OEMRENDER, IID_IClassFactory, &out), S_OK);
  auto* factory = static_cast<IClassFactory*>(out);
  EXPECT_EQ(library->CanUnloadNow(), S_FALSE);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUni, &out), S_OK);
  auto* plugin = static_cast<IPrintOemUni*>(out);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->Release(), 0u);

  DWORD signature = 0;
  DWORD needed = 0;
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, &signature, 4, &needed), S_OK);
  EXPECT_EQ(signature, 0x4E565851u);
  EXPECT_EQ(plugin->Release(), 0u);
  // Objects gone, but the server is still locked.
  EXPECT_EQ(library->CanUnloadNow(), S_FALSE);
  ASSERT_EQ(library->GetClassObject(CLSID_OEMRENDER, IID_IClassFactory, &out), S_OK);
  factory = static_cast<IClassFactory*>(out);
  factory->LockServer(FALSE);
  factory->Release();
  EXPECT_EQ(library->CanUnloadNow(), S_OK);
}

TEST(PluginLibraryTest, LoadingErrorsSayWhatIsWrong) {
  std::string error;
  EXPECT_EQ(qxhost::PluginLibrary::Load("/nonexistent/qxvnuni.so", &error), nullptr);
  EXPECT_THAT(error, HasSubstr("cannot load the plug-in library /nonexistent/qxvnuni.so"));

  // A library without the entry points: the host services library itself.
  const std::string services = std::string(qxhost::BuiltPluginPath());
  const std::string hostServices = services.substr(0, services.rfind("/plugin/")) + "/host/libqxhostsvc.so";
  EXPECT_EQ(qxhost::PluginLibrary::Load(hostServices, &error), nullptr);
  EXPECT_THAT(error, HasSubstr("does not export DllGetClassObject"));

  qxhost::DriverHost host;
  EXPECT_FALSE(host.Load("/nonexistent/qxvnuni.so", &error));
  EXPECT_FALSE(host.IsLoaded());
}

}  // namespace
}  // namespace qxtest
