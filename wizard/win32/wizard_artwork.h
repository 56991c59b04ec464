// The wizard's pictures, drawn at run time: the picture beside the start
// and finish pages, and small animations (the build at work, and one for
// each finishing action) shown in a control of their own.
#pragma once

#include <windows.h>

namespace ombrwiz {

// The start pages' picture filling `area`: an umbrella over a parcel on a
// blue ground. With few colours (256 or less) it is drawn in flat colours.
void DrawStartPicture(HDC dc, const RECT& area);

// What an animation control shows.
enum class Animation { kBuild = 0, kTest, kEmail, kExplore };

// Registers the class "OmbrellAnimation"; create its windows with the
// Animation value as lpParam (cast) and play or stop them with these.
void RegisterAnimationClass(HINSTANCE instance);
HWND CreateAnimation(HWND parent, int id, Animation kind, int x, int y, int width, int height);
void PlayAnimation(HWND animation, bool play);

}  // namespace ombrwiz
