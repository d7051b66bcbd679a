// A program that replaces the stand-in library's standinGuard as the app replaces PAPPL's
// functions, and checks the replacement at start as the app does.
//   standin_app             check, then call the library's path to the replaced function
//   standin_app --no-check  the same without the check (shows what the check guards against)
//   standin_app --call      call the replacement itself, which calls the library's original
#include <cstdio>
#include <cstring>

#include "printer_app/pappl_layer/binding_check.h"
#include "printer_app/pappl_layer/original_symbol.h"

extern "C" int standinRun(int value);

namespace {
bool g_replacementRan = false;
}

extern "C" __attribute__((visibility("default"))) int standinGuard(int value) {
  static const auto original = qxapp::Original<int (*)(int)>("standinGuard");
  g_replacementRan = true;
  return original(value);
}

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (std::strcmp(mode, "--call") == 0) return standinGuard(0);
  if (std::strcmp(mode, "--no-check") != 0) {
    const qxapp::layer::LayerSpec spec{"STANDIN", "libqxstandin.so", "STANDIN/",         {1, 3, 1},
                                       {1, 4, 0}, {"standinGuard"},  {"standinImported"}};
    qxapp::layer::RefuseToStartUnlessReplaced(spec, "standin_app");
  }
  standinRun(1);
  std::printf("%s\n", g_replacementRan ? "the replacement ran" : "the replacement did not run");
  return 0;
}
