#include <atomic>
#include <cstdlib>
#include <new>

#include "AllocationProbe.h"

#if defined(__SANITIZE_THREAD__)
#define TESSIVA_RUNTIME_OWNS_NEW 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSIVA_RUNTIME_OWNS_NEW 1
#endif
#endif

namespace {
std::atomic<size_t> gLargestAllocation{0};
}

void ResetLargestAllocation() {
  gLargestAllocation = 0;
}
size_t LargestAllocation() {
  return gLargestAllocation.load();
}

#ifdef TESSIVA_RUNTIME_OWNS_NEW

bool AllocationProbeAvailable() {
  return false;
}

#else

bool AllocationProbeAvailable() {
  return true;
}

void* operator new(size_t ASize) {
  size_t seen = gLargestAllocation.load(std::memory_order_relaxed);
  while (ASize > seen && !gLargestAllocation.compare_exchange_weak(seen, ASize)) {
  }
  if (void* p = std::malloc(ASize ? ASize : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t ASize) {
  return operator new(ASize);
}
void operator delete(void* APointer) noexcept {
  std::free(APointer);
}
void operator delete[](void* APointer) noexcept {
  std::free(APointer);
}
void operator delete(void* APointer, size_t) noexcept {
  std::free(APointer);
}
void operator delete[](void* APointer, size_t) noexcept {
  std::free(APointer);
}

#endif
