// The control a fault sweep uses to make the N-th package-chunk allocation of the plug-in fail,
// exported by the test build of the plug-in only.
#include <cstdlib>

#include "stream/package_list.h"

namespace {

int g_failAt = 0;
bool g_onlyOnce = false;
int g_requests = 0;

void* FailingAlloc(size_t bytes) {
  ++g_requests;
  if (g_requests == g_failAt || (!g_onlyOnce && g_requests > g_failAt)) return nullptr;
  return std::malloc(bytes);
}

}  // namespace

// From allocation `failAt` (from 1) on, or only at it, allocations fail; 0 restores the default.
extern "C" __attribute__((visibility("default"))) void qx_test_fail_chunk_alloc(int failAt, int onlyOnce) {
  g_failAt = failAt;
  g_onlyOnce = onlyOnce != 0;
  g_requests = 0;
  SetChunkAllocator(failAt > 0 ? &FailingAlloc : nullptr);
}

// Allocations asked for since the last qx_test_fail_chunk_alloc, failed ones included.
extern "C" __attribute__((visibility("default"))) int qx_test_chunk_alloc_requests() { return g_requests; }
