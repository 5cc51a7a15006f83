#include <gtest/gtest.h>

#include "platform/core/Geometry.h"
#include "platform/core/Sets.h"

namespace px {
namespace {

TEST(Geometry, RectanglesExcludeRightAndBottom) {
  TRect r = Bounds(10, 20, 5, 3);
  EXPECT_EQ(r, Rect(10, 20, 15, 23));
  EXPECT_TRUE(r.Contains({10, 20}));
  EXPECT_TRUE(r.Contains({14, 22}));
  EXPECT_FALSE(r.Contains({15, 22}));
  EXPECT_FALSE(r.Contains({14, 23}));
  EXPECT_TRUE(Rect(3, 3, 3, 9).IsEmpty());
  EXPECT_EQ(Rect(9, 8, 1, 2).Normalized(), Rect(1, 2, 9, 8));
}

TEST(Geometry, IntersectAndUnion) {
  TRect r;
  EXPECT_TRUE(IntersectRect(r, Rect(0, 0, 10, 10), Rect(5, 5, 20, 20)));
  EXPECT_EQ(r, Rect(5, 5, 10, 10));
  // Touching edges do not overlap because the right edge is exclusive.
  EXPECT_FALSE(IntersectRect(r, Rect(0, 0, 10, 10), Rect(10, 0, 20, 10)));
  EXPECT_EQ(r, TRect{});
  EXPECT_TRUE(UnionRect(r, Rect(0, 0, 0, 0), Rect(2, 2, 4, 4)));
  EXPECT_EQ(r, Rect(2, 2, 4, 4));
  EXPECT_TRUE(UnionRect(r, Rect(0, 0, 1, 1), Rect(2, 2, 4, 4)));
  EXPECT_EQ(r, Rect(0, 0, 4, 4));
}

enum class Fruit { Apple, Pear, Plum = 63 };

TEST(Sets, MembershipAndOperators) {
  TSet<Fruit> s{Fruit::Apple, Fruit::Plum};
  EXPECT_TRUE(s.Contains(Fruit::Plum));
  EXPECT_FALSE(s.Contains(Fruit::Pear));
  s.Include(Fruit::Pear).Exclude(Fruit::Apple);
  EXPECT_EQ(s, (TSet<Fruit>{Fruit::Pear, Fruit::Plum}));
  EXPECT_EQ(s * TSet<Fruit>{Fruit::Plum}, TSet<Fruit>{Fruit::Plum});
  EXPECT_EQ(s - TSet<Fruit>{Fruit::Plum}, TSet<Fruit>{Fruit::Pear});
  EXPECT_TRUE((s + TSet<Fruit>{Fruit::Apple}).ContainsAll(s));
  EXPECT_TRUE(TSet<Fruit>{}.Empty());
  // Values from unchecked data outside 0..63 are never members (no shift past 63).
  for (int raw : {64, 200, -1}) {
    const auto stray = static_cast<Fruit>(raw);
    EXPECT_FALSE(s.Contains(stray));
    EXPECT_EQ(TSet<Fruit>(s).Include(stray), s);
  }
}

}  // namespace
}  // namespace px
