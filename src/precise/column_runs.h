#pragma once

namespace kelvora {

// Calls `each(first, end)` for every run of the places (columns or rows) 0 to `n` - 1 where
// `marked(x)` holds, first to last. `each` may clear its own run's marks.
template <typename Marked, typename Each>
void forEachRun(int n, Marked marked, Each each) {
  for (int x = 0; x < n;) {
    if (!marked(x)) {
      ++x;
      continue;
    }
    const int first = x;
    while (x < n && marked(x)) ++x;
    each(first, x);
  }
}

}  // namespace kelvora
