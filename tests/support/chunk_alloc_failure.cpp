#include "tests/support/chunk_alloc_failure.h"

#include <cstdlib>

#include "stream/package_list.h"

namespace qxtest {

namespace {
int g_allowed = 0;
int g_requests = 0;

void* CountedAlloc(size_t bytes) {
  ++g_requests;
  if (g_allowed <= 0) return nullptr;
  --g_allowed;
  return std::malloc(bytes);
}
}  // namespace

ChunkAllocFailure::ChunkAllocFailure(int allowed) {
  g_allowed = allowed;
  g_requests = 0;
  SetChunkAllocator(&CountedAlloc);
}

ChunkAllocFailure::~ChunkAllocFailure() { SetChunkAllocator(nullptr); }

int ChunkAllocFailure::Requests() const { return g_requests; }

}  // namespace qxtest
