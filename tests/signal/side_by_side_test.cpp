// The stripes side by side cover every row once, however many rows and cores there are.
#include <atomic>
#include <vector>

#include <gtest/gtest.h>

#include "signal/side_by_side.h"

namespace kelvora {
namespace {

TEST(SideBySideTest, EveryRowOnceInOneStripe) {
  for (const int count : {0, 1, 63, 64, 65, 129, 1000, 12345}) {
    std::vector<std::atomic<int>> seen(static_cast<size_t>(count));
    std::atomic<int> stripes = 0;
    sideBySide(count, [&](int first, int end) {
      ++stripes;
      EXPECT_LE(0, first);
      EXPECT_LT(first, end);
      EXPECT_LE(end, count);
      for (int y = first; y < end; ++y) ++seen[static_cast<size_t>(y)];
    });
    for (int y = 0; y < count; ++y)
      EXPECT_EQ(seen[static_cast<size_t>(y)], 1) << count << ", " << y;
    EXPECT_EQ(stripes > 0, count > 0) << count;
  }
}

}  // namespace
}  // namespace kelvora
