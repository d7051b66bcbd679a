#include "stream/package_list.h"

#include <cstdlib>

#include "trace/trace.h"

namespace {

ChunkAllocFn g_pfnChunkAlloc = nullptr;

PackageChunk* NewChunk() {
  void* memory = g_pfnChunkAlloc ? g_pfnChunkAlloc(sizeof(PackageChunk)) : std::malloc(sizeof(PackageChunk));
  if (!memory) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("CPackageList::Append() alloc buffer failed!"));
    return nullptr;
  }
  auto* chunk = static_cast<PackageChunk*>(memory);
  chunk->used = 0;
  chunk->next = nullptr;
  return chunk;
}

}  // namespace

void SetChunkAllocator(ChunkAllocFn alloc) { g_pfnChunkAlloc = alloc; }

BYTE* CPackageList::Append(DWORD size) {
  if (size > PACKAGE_CHUNK_BYTES) return nullptr;
  if (!m_pHead) {
    PackageChunk* chunk = NewChunk();
    if (!chunk) return nullptr;
    m_pHead = m_pTail = chunk;
  } else if (m_pTail->used + size > PACKAGE_CHUNK_BYTES) {
    PackageChunk* chunk = NewChunk();
    if (!chunk) return nullptr;
    m_pTail->next = chunk;
    m_pTail = chunk;
  }
  BYTE* at = m_pTail->data + m_pTail->used;
  m_pTail->used += size;
  return at;
}

void CPackageList::Empty() {
  PackageChunk* chunk = m_pHead;
  while (chunk) {
    PackageChunk* next = chunk->next;
    std::free(chunk);
    chunk = next;
  }
  m_pHead = m_pTail = nullptr;
}

void CPackageList::RollBack(const EndMark& mark) {
  if (!mark.tail) {
    Empty();
    return;
  }
  PackageChunk* chunk = mark.tail->next;
  while (chunk) {
    PackageChunk* next = chunk->next;
    std::free(chunk);
    chunk = next;
  }
  mark.tail->next = nullptr;
  mark.tail->used = mark.used;
  m_pTail = mark.tail;
}

void CPackageList::JoinInFront(CPackageList& front) {
  if (!front.m_pHead) return;
  if (!m_pHead)
    m_pTail = front.m_pTail;
  else
    front.m_pTail->next = m_pHead;
  m_pHead = front.m_pHead;
  front.m_pHead = front.m_pTail = nullptr;
}

DWORD CPackageList::UsedBytes() const {
  DWORD total = 0;
  for (const PackageChunk* chunk = m_pHead; chunk; chunk = chunk->next) total += chunk->used;
  return total;
}
