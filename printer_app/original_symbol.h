// PAPPL's own version of a function the app provides in its place (the app's definition is
// what the library's calls reach; RTLD_NEXT finds the library's).
#pragma once

#include <dlfcn.h>

namespace qxapp {

template <typename Fn>
Fn Original(const char* name) {
  static_assert(sizeof(Fn) == sizeof(void*));
  void* symbol = dlsym(RTLD_NEXT, name);
  Fn fn;
  __builtin_memcpy(&fn, &symbol, sizeof fn);
  return fn;
}

}  // namespace qxapp
