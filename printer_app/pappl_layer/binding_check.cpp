#include "printer_app/pappl_layer/binding_check.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace qxapp::layer {
namespace {

#if __ELF_NATIVE_CLASS == 64
#define QX_R_SYM ELF64_R_SYM
#define QX_R_TYPE ELF64_R_TYPE
#else
#define QX_R_SYM ELF32_R_SYM
#define QX_R_TYPE ELF32_R_TYPE
#endif

struct LoadedLibrary {
  std::string path;
  ElfW(Addr) base = 0;
  const ElfW(Phdr) * phdr = nullptr;
  ElfW(Half) phnum = 0;
};

std::optional<LoadedLibrary> FindLoaded(const std::string& fileName) {
  struct Search {
    const std::string* fileName;
    std::optional<LoadedLibrary> found;
  } search{&fileName, std::nullopt};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* s = static_cast<Search*>(data);
        const char* name = info->dlpi_name ? info->dlpi_name : "";
        const char* slash = std::strrchr(name, '/');
        const char* base = slash ? slash + 1 : name;
        if (std::strncmp(base, s->fileName->c_str(), s->fileName->size()) != 0) return 0;
        s->found = LoadedLibrary{name, info->dlpi_addr, info->dlpi_phdr, info->dlpi_phnum};
        return 1;
      },
      &search);
  return search.found;
}

// The first "MARKmajor.minor.patch" in the library's readable segments.
std::optional<Version> FindVersion(const LoadedLibrary& lib, const std::string& mark) {
  for (ElfW(Half) i = 0; i < lib.phnum; ++i) {
    const ElfW(Phdr)& ph = lib.phdr[i];
    if (ph.p_type != PT_LOAD || !(ph.p_flags & PF_R) || ph.p_filesz == 0) continue;
    const char* begin = reinterpret_cast<const char*>(lib.base + ph.p_vaddr);
    const std::string_view segment(begin, ph.p_filesz);
    for (size_t at = segment.find(mark); at != std::string_view::npos; at = segment.find(mark, at + 1)) {
      std::string_view rest = segment.substr(at + mark.size(), 16);
      size_t length = 0;
      while (length < rest.size() && (rest[length] == '.' || (rest[length] >= '0' && rest[length] <= '9')))
        ++length;
      if (auto version = ParseVersion(rest.substr(0, length))) return version;
    }
  }
  return std::nullopt;
}

// Relocation types whose slot holds the symbol's address itself once bound.
bool SlotHoldsAddress(unsigned type) {
#if defined(__x86_64__)
  return type == R_X86_64_JUMP_SLOT || type == R_X86_64_GLOB_DAT || type == R_X86_64_64;
#elif defined(__aarch64__)
  return type == R_AARCH64_JUMP_SLOT || type == R_AARCH64_GLOB_DAT || type == R_AARCH64_ABS64;
#else
  (void)type;
  return false;
#endif
}

struct Relocations {
  bool bindNow = false;
  // Per wanted name, the addresses its slots hold (where a slot holds one), or none.
  std::map<std::string, std::vector<uintptr_t>, std::less<>> named;
};

Relocations ReadRelocations(const LoadedLibrary& lib, const std::set<std::string, std::less<>>& wanted) {
  Relocations out;
  const ElfW(Dyn)* dynamic = nullptr;
  for (ElfW(Half) i = 0; i < lib.phnum; ++i)
    if (lib.phdr[i].p_type == PT_DYNAMIC)
      dynamic = reinterpret_cast<const ElfW(Dyn)*>(lib.base + lib.phdr[i].p_vaddr);
  if (!dynamic) return out;

  // The dynamic linker turns these into addresses on most targets; left as offsets on others.
  auto address = [&](ElfW(Addr) value) { return value < lib.base ? value + lib.base : value; };
  ElfW(Addr) symtab = 0, strtab = 0, rela = 0, rel = 0, jmprel = 0;
  size_t strsz = 0, relasz = 0, relsz = 0, pltrelsz = 0;
  size_t relaent = sizeof(ElfW(Rela)), relent = sizeof(ElfW(Rel));
  ElfW(Sxword) pltrel = DT_RELA;
  for (const ElfW(Dyn)* d = dynamic; d->d_tag != DT_NULL; ++d) {
    switch (d->d_tag) {
      case DT_SYMTAB:
        symtab = address(d->d_un.d_ptr);
        break;
      case DT_STRTAB:
        strtab = address(d->d_un.d_ptr);
        break;
      case DT_STRSZ:
        strsz = d->d_un.d_val;
        break;
      case DT_RELA:
        rela = address(d->d_un.d_ptr);
        break;
      case DT_RELASZ:
        relasz = d->d_un.d_val;
        break;
      case DT_RELAENT:
        relaent = d->d_un.d_val;
        break;
      case DT_REL:
        rel = address(d->d_un.d_ptr);
        break;
      case DT_RELSZ:
        relsz = d->d_un.d_val;
        break;
      case DT_RELENT:
        relent = d->d_un.d_val;
        break;
      case DT_JMPREL:
        jmprel = address(d->d_un.d_ptr);
        break;
      case DT_PLTRELSZ:
        pltrelsz = d->d_un.d_val;
        break;
      case DT_PLTREL:
        pltrel = static_cast<ElfW(Sxword)>(d->d_un.d_val);
        break;
      case DT_FLAGS:
        out.bindNow |= (d->d_un.d_val & DF_BIND_NOW) != 0;
        break;
      case DT_FLAGS_1:
        out.bindNow |= (d->d_un.d_val & DF_1_NOW) != 0;
        break;
      default:
        break;
    }
  }
  if (!symtab || !strtab || relaent < sizeof(ElfW(Rel)) || relent < sizeof(ElfW(Rel))) return out;
  const auto* symbols = reinterpret_cast<const ElfW(Sym)*>(symtab);
  const char* strings = reinterpret_cast<const char*>(strtab);

  auto scan = [&](ElfW(Addr) table, size_t size, size_t entry, bool withAddend) {
    if (!table) return;
    for (size_t at = 0; at + entry <= size; at += entry) {
      const auto* r = reinterpret_cast<const ElfW(Rel)*>(table + at);
      const size_t index = QX_R_SYM(r->r_info);
      if (index == 0 || symbols[index].st_name >= strsz) continue;
      const std::string_view name(strings + symbols[index].st_name);
      const auto want = wanted.find(name);
      if (want == wanted.end()) continue;
      auto& slots = out.named[*want];
      const ElfW(Sxword) addend = withAddend ? reinterpret_cast<const ElfW(Rela)*>(r)->r_addend : 0;
      if (out.bindNow && addend == 0 && SlotHoldsAddress(QX_R_TYPE(r->r_info)))
        slots.push_back(*reinterpret_cast<const uintptr_t*>(lib.base + r->r_offset));
    }
  };
  scan(rela, relasz, relaent, true);
  scan(rel, relsz, relent, false);
  if (pltrel == DT_RELA)
    scan(jmprel, pltrelsz, relaent, true);
  else
    scan(jmprel, pltrelsz, relent, false);
  return out;
}

std::string ObjectName(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return "the program";
  return info.dli_fname;
}

const void* ObjectBase(const void* address) {
  Dl_info info{};
  return dladdr(address, &info) ? info.dli_fbase : nullptr;
}

}  // namespace

std::optional<Version> ParseVersion(std::string_view text) {
  Version v;
  int* parts[] = {&v.major, &v.minor, &v.patch};
  size_t part = 0, digits = 0;
  for (char c : text) {
    if (c == '.') {
      if (digits == 0 || ++part == 3) return std::nullopt;
      digits = 0;
    } else if (c >= '0' && c <= '9' && digits < 6) {
      *parts[part] = *parts[part] * 10 + (c - '0');
      ++digits;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || part == 0) return std::nullopt;
  return v;
}

std::string VersionText(const Version& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.patch);
}

std::vector<std::string> CheckLayer(const LayerSpec& spec) {
  const std::optional<LoadedLibrary> lib = FindLoaded(spec.fileName);
  if (!lib) return {spec.product + ": no " + spec.fileName + "* is loaded"};
  const std::optional<Version> version = FindVersion(*lib, spec.versionMark);
  const std::string head = spec.product + " " + (version ? VersionText(*version) : "of unknown version") +
                           " (" + lib->path + "): ";
  const std::string checked = "the app was checked against " + spec.product + " " +
                              VersionText(spec.checkedFrom) + " up to, not including, " +
                              VersionText(spec.checkedBelow);
  std::vector<std::string> failures;
  if (!version || *version < spec.checkedFrom || !(*version < spec.checkedBelow))
    failures.push_back(head + "not a version " + checked);

  const std::set<std::string, std::less<>> wanted(spec.replaced.begin(), spec.replaced.end());
  const Relocations relocations = ReadRelocations(*lib, wanted);
  const void* self = ObjectBase(reinterpret_cast<const void*>(&CheckLayer));
  for (const std::string& name : spec.replaced) {
    void* own = dlsym(RTLD_DEFAULT, name.c_str());
    if (!own) {
      failures.push_back(head + name + ": the app exports no replacement of it");
      continue;
    }
    if (ObjectBase(own) != self) {
      failures.push_back(head + name + ": the name finds " + ObjectName(own) + ", not the app's replacement");
      continue;
    }
    if (!dlsym(RTLD_NEXT, name.c_str())) {
      failures.push_back(head + name + ": the library has no such function");
      continue;
    }
    const auto slots = relocations.named.find(name);
    if (slots == relocations.named.end()) {
      failures.push_back(head + name +
                         ": the library binds its own calls of it inside itself, so the app's replacement "
                         "would never run");
      continue;
    }
    for (uintptr_t slot : slots->second) {
      if (slot != reinterpret_cast<uintptr_t>(own)) {
        failures.push_back(head + name + ": the library's calls of it are bound to " +
                           ObjectName(reinterpret_cast<const void*>(slot)) + ", not the app's replacement");
        break;
      }
    }
  }
  for (const std::string& name : spec.imported)
    if (!dlsym(RTLD_DEFAULT, name.c_str()))
      failures.push_back(head + name + ": the library has no such function (the app calls it)");
  return failures;
}

void RefuseToStartUnlessReplaced(const LayerSpec& spec, const char* program) {
  const std::vector<std::string> failures = CheckLayer(spec);
  if (failures.empty()) return;
  for (const std::string& failure : failures)
    std::fprintf(stderr, "%s: refusing to start: %s\n", program, failure.c_str());
  std::exit(1);
}

}  // namespace qxapp::layer
