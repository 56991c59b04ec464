// Where the start-up windows go on the screen. Sizes are outer window
// sizes; divisions truncate.
#pragma once

namespace tavrel {

struct Size {
  int width = 0;
  int height = 0;
};

struct Point {
  int left = 0;
  int top = 0;
};

Point CentreOnScreen(Size window, Size screen);

// The preparing window sits below and right of the splash picture's centre,
// kept 45 pixels above the bottom and 25 pixels left of the right edge.
Point PlaceBelowSplash(Point splashAt, Size splash, Size preparing, Size screen);

}  // namespace tavrel
