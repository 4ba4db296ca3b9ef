#include "signal/side_by_side.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace kelvora {

namespace {

// A shorter stripe costs more to start than it saves.
constexpr int kLeast = 64;

}  // namespace

void sideBySide(int count, const std::function<void(int first, int end)>& body) {
  if (count <= 0) return;
  // The job loads the next scan on a thread of its own while the reader works: one core
  // is left to it. A stripe's thread waiting for a core the loader or another process
  // holds keeps the caller waiting at the join far longer than the stripe saves.
  const int cores = static_cast<int>(std::max(2u, std::thread::hardware_concurrency())) - 1;
  const int stripes = std::clamp(count / kLeast, 1, cores);
  // Plain threads rather than a pool: each stripe's end is seen to happen before the
  // caller goes on, by the thread's join.
  std::vector<std::jthread> others;
  for (int k = 1; k < stripes; ++k)
    others.emplace_back([&body, count, stripes, k] {
      body(static_cast<int>(static_cast<long>(count) * k / stripes),
           static_cast<int>(static_cast<long>(count) * (k + 1) / stripes));
    });
  body(0, static_cast<int>(static_cast<long>(count) / stripes));
}

}  // namespace kelvora
