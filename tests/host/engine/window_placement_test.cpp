#include "engine/core/window_placement.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

TEST(WindowPlacement, CentredAndBelowTheSplash) {
  const Size screen{1024, 768};
  const Size preparing{391, 115};
  const Point centred = CentreOnScreen(preparing, screen);
  EXPECT_EQ(centred.left, 316);
  EXPECT_EQ(centred.top, 326);

  const Size splash{300, 201};
  const Point splashAt = CentreOnScreen(splash, screen);
  const Point below = PlaceBelowSplash(splashAt, splash, preparing, screen);
  EXPECT_EQ(below.left, 362 + 150 + 50);
  EXPECT_EQ(below.top, 283 + 201 + 25);

  // Too tall: the lower edge stays 45 pixels above the bottom.
  const Size tall{200, 700};
  const Point tallAt = PlaceBelowSplash(CentreOnScreen(tall, screen), tall, preparing, screen);
  EXPECT_EQ(tallAt.top + preparing.height, 768 - 45);
  // Too far right (a centred splash never is on this screen, but a
  // smaller screen or a larger window would be): the right edge stays 25
  // pixels left of the screen's.
  const Size wide{300, 100};
  const Point wideAt = PlaceBelowSplash({700, 100}, wide, preparing, screen);
  EXPECT_EQ(wideAt.left + preparing.width, 1024 - 25);
}

}  // namespace
}  // namespace tavrel
