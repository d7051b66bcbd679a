#include "tests/win/harness/import_patch.h"

#include <cstring>

namespace qxwin {

namespace {

template <class T>
T* AtRva(HMODULE module, DWORD rva) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

bool SameName(const char* a, const char* b) { return _stricmp(a, b) == 0; }

bool WriteSlot(ULONG_PTR* slot, ULONG_PTR value) {
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) return false;
  *slot = value;
  VirtualProtect(slot, sizeof *slot, protection, &protection);
  FlushInstructionCache(GetCurrentProcess(), slot, sizeof *slot);
  return true;
}

}  // namespace

bool PatchImport(HMODULE module, const char* dll, const char* function, void* replacement, void** original) {
  if (!module) return false;
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(module);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
  auto* nt = AtRva<IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
  if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return false;
  for (auto* desc = AtRva<IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress); desc->Name; ++desc) {
    if (!SameName(AtRva<const char>(module, desc->Name), dll)) continue;
    // The lookup table keeps the names; the address table holds what the loader bound.
    DWORD lookupRva = desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk;
    auto* names = AtRva<IMAGE_THUNK_DATA>(module, lookupRva);
    auto* slots = AtRva<IMAGE_THUNK_DATA>(module, desc->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = AtRva<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names->u1.AddressOfData));
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      if (original) *original = reinterpret_cast<void*>(slots->u1.Function);
      return WriteSlot(reinterpret_cast<ULONG_PTR*>(&slots->u1.Function),
                       reinterpret_cast<ULONG_PTR>(replacement));
    }
  }
  return false;
}

}  // namespace qxwin
