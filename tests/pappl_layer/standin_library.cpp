// A small library in PAPPL's place for the start-up check's tests: a version mark in its text,
// a function the test program replaces, which the library itself calls, and one the program
// imports. Built several ways (CMakeLists.txt): as it should be, without the two functions,
// with its own calls bound inside it (-Bsymbolic-functions), and with another version.

extern "C" {

__attribute__((visibility("default"))) const char* standinServerHeader =
    "Unknown STANDIN/" STANDIN_VERSION " IPP/2.0";

#ifndef STANDIN_WITHOUT_FUNCTIONS
__attribute__((visibility("default"), noinline)) int standinGuard(int value) { return value; }
__attribute__((visibility("default"))) int standinImported() { return 1; }
#endif

// The library's own path to the replaced function.
__attribute__((visibility("default"))) int standinRun(int value) {
#ifndef STANDIN_WITHOUT_FUNCTIONS
  return standinGuard(value);
#else
  return value;
#endif
}

}  // extern "C"
