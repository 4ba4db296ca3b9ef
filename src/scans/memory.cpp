#include "scans/memory.h"

#include <malloc.h>

namespace kelvora {

void keepScanMemory() {
  constexpr int kLargestHeapBlock = 256 << 20;
  constexpr int kKeptFreeMemory = 512 << 20;
  mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
  mallopt(M_TRIM_THRESHOLD, kKeptFreeMemory);
}

}  // namespace kelvora
