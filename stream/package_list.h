// A page's packages, collected in place in a chain of fixed-size chunks.
#pragma once

#include <cstddef>

#include "platform/win_types.h"

constexpr DWORD PACKAGE_CHUNK_BYTES = 4096;

struct PackageChunk {
  BYTE data[PACKAGE_CHUNK_BYTES];
  DWORD used;
  PackageChunk* next;
};

class CPackageList {
 public:
  CPackageList() = default;
  ~CPackageList() { Empty(); }
  CPackageList(const CPackageList&) = delete;
  CPackageList& operator=(const CPackageList&) = delete;

  // Reserves `size` bytes at the end; a package never straddles two chunks.
  // Null when `size` exceeds a chunk or a new chunk cannot be allocated.
  BYTE* Append(DWORD size);
  // Frees every chunk.
  void Empty();
  // Links all chunks of `front` before this list's chunks, without copying; `front` ends empty.
  void JoinInFront(CPackageList& front);

  // The end of the list as it is now, to take back what is appended after it.
  struct EndMark {
    PackageChunk* tail = nullptr;
    DWORD used = 0;
  };
  EndMark End() const { return {m_pTail, m_pTail ? m_pTail->used : 0}; }
  // Drops every byte appended since `mark` was taken, freeing chunks opened since.
  void RollBack(const EndMark& mark);

  bool IsEmpty() const { return m_pHead == nullptr; }
  const PackageChunk* Head() const { return m_pHead; }
  const PackageChunk* Tail() const { return m_pTail; }
  // Sum of the used bytes of all chunks.
  DWORD UsedBytes() const;

 private:
  PackageChunk* m_pHead = nullptr;
  PackageChunk* m_pTail = nullptr;
};

// The one place package chunks are allocated; tests replace it to make allocation fail.
// Chunks are released with std::free, so a replacement must hand out memory that it accepts.
using ChunkAllocFn = void* (*)(size_t bytes);
void SetChunkAllocator(ChunkAllocFn alloc);  // null restores the default
