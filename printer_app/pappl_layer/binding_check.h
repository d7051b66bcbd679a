// Whether functions a program defines in a shared library's place really take the library's
// place, checked in the running process before the program relies on them.
//
// A program replaces a library function by defining and exporting the same name: the dynamic
// linker then binds every call that goes through a symbol table, the library's own included, to
// the program's definition. That holds only while
//   - the name resolves (RTLD_DEFAULT) to this program's own definition,
//   - the library still has the function the replacement stands in for (RTLD_NEXT), and
//   - the library calls the name through its symbol table: a relocation of the loaded library
//     names it, and where the library is bound at load (BIND_NOW) its slot holds the program's
//     definition. A library linked with -Bsymbolic-functions, LTO or -fno-semantic-interposition
//     binds its calls inside itself and has no such relocation.
// The library's version comes from a text mark in its image ("NAME/1.2.3").
//
// Uses only the dynamic linker's view of the process (dl_iterate_phdr, dlsym, dladdr), so it
// can be tried against any library; the app's use of it is startup_check.h.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qxapp::layer {

struct Version {
  int major = 0;
  int minor = 0;
  int patch = 0;
  auto operator<=>(const Version&) const = default;
};

// "1.3.1", "1.4" (patch 0); nullopt for anything else.
std::optional<Version> ParseVersion(std::string_view text);
std::string VersionText(const Version& version);

struct LayerSpec {
  std::string product;                // the library's name in messages: "PAPPL"
  std::string fileName;               // the start of the loaded file's name: "libpappl.so"
  std::string versionMark;            // the text before the version in the library's image: "PAPPL/"
  Version checkedFrom;                // the first version the replacements were checked against
  Version checkedBelow;               // the first version they were not
  std::vector<std::string> replaced;  // names the program defines in the library's place
  std::vector<std::string> imported;  // names the program calls that must be there
};

// Nothing when every replacement takes effect; otherwise one line per failure, each starting
// "PRODUCT VERSION (PATH): " and naming the function. The program checked is the object that
// holds this code.
std::vector<std::string> CheckLayer(const LayerSpec& spec);

// Returns when CheckLayer finds nothing; otherwise writes each failure to standard error as
// "PROGRAM: refusing to start: ..." and exits with status 1.
void RefuseToStartUnlessReplaced(const LayerSpec& spec, const char* program);

}  // namespace qxapp::layer
