// The six pictures of the feature tree and its popup menu, drawn by the
// engine at run time on a 32×16 grid: a red cross or a hard disk, in a framed
// box with a drop-down arrow for the tree's nodes, or bare and with a
// sub-item mark for the menu's items.
#pragma once

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include "common/win32/handle_owner.h"
#include "engine/core/feature_tree.h"

namespace tavrel {

// The image list every feature tree shares, made on first use; nullptr
// when the system could not make it.
HIMAGELIST FeatureImageList();

// One picture as a bitmap over the background colour (menu items).
common::GdiObject<HBITMAP> FeatureImageBitmap(FeatureImage image, COLORREF background);

}  // namespace tavrel
