// PAPPL's own version of a function the app provides in its place (the app's definition is
// what the library's calls reach; RTLD_NEXT finds the library's). Every name passed here is in
// printer_app/pappl_layer/replaced_functions.def, which the start-up check goes through before
// the app serves anything; a name the library lacks still never becomes a call through null:
// the process stops, naming it.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace qxapp {

template <typename Fn>
Fn Original(const char* name) {
  static_assert(sizeof(Fn) == sizeof(void*));
  void* symbol = dlsym(RTLD_NEXT, name);
  if (!symbol) {
    std::fprintf(stderr, "qxvn-printer-app: the loaded PAPPL has no %s, which the app replaces; stopping\n",
                 name);
    std::_Exit(70);
  }
  Fn fn;
  __builtin_memcpy(&fn, &symbol, sizeof fn);
  return fn;
}

}  // namespace qxapp
