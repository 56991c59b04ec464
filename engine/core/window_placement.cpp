#include "engine/core/window_placement.h"

namespace tavrel {

Point CentreOnScreen(Size window, Size screen) {
  return {(screen.width - window.width) / 2, (screen.height - window.height) / 2};
}

Point PlaceBelowSplash(Point splashAt, Size splash, Size preparing, Size screen) {
  Point at{splashAt.left + splash.width / 2 + 50, splashAt.top + splash.height + 25};
  if (at.top > screen.height - 45 - preparing.height)
    at.top = screen.height - 45 - preparing.height;
  if (at.left > screen.width - 25 - preparing.width) at.left = screen.width - 25 - preparing.width;
  return at;
}

}  // namespace tavrel
