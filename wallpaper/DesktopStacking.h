// Reading the desktop's stacking order: which arrangement of desktop windows
// a session has, where the live wallpaper's window belongs in it, and whether
// it is there. Pure functions over a snapshot; the attachment
// (DesktopAttach) runs them against the live window system.
#pragma once

#include "platform/DesktopStack.h"

// The arrangements the wallpaper can live in. The numbers appear in the log.
enum class TDesktopStructure {
  dsUnknown = 0,     // the stacking order could not be read
  // No desktop window (desktops without icons, bare window managers): the
  // wallpaper window is the desktop, the lowest window of all.
  dsOwnDesktop = 1,
  // The icons are drawn on a see-through desktop window: the wallpaper lies
  // directly below it, behind the icons.
  dsBelowIcons = 2,
  // The icons are drawn on a desktop window that paints its own background:
  // nothing shows through it, so the wallpaper lies directly above it, below
  // every other window, and covers the icons.
  dsAboveOpaque = 3,
};

struct TDesktopReading {
  TDesktopStructure structure = TDesktopStructure::dsUnknown;
  TNativeWindow lowestIcons = 0;    // the lowest see-through desktop window
  TNativeWindow highestIcons = 0;   // the highest see-through desktop window
  TNativeWindow highestOpaque = 0;  // the highest opaque desktop window
  int desktopWindows = 0;
};

// Where the wallpaper is to be stacked: directly above or below `sibling`,
// or at the very bottom when `sibling` is 0 and `above` is false.
struct TStackPlan {
  TNativeWindow sibling = 0;
  bool above = false;
};

enum class TPlacementCheck {
  pcRight,             // where it belongs
  pcHidden,            // hidden: it covers nothing, its place is checked when it is shown
  pcGone,              // the window no longer exists
  pcStructureChanged,  // the desktop now has another arrangement: attach anew
  pcWrongOrder,        // same arrangement, wrong place in it: restack
  pcWrongSize,         // does not cover the whole screen: resize
};

// Reads the arrangement, leaving out the wallpaper's own window.
TDesktopReading ReadDesktop(const TDesktopSnapshot& snapshot, TNativeWindow wallpaper);

// `coverIcons`: the user asked to hide the icons, so the wallpaper goes above
// the see-through icon layer instead of below it.
TStackPlan PlanPlacement(const TDesktopReading& reading, bool coverIcons);

TPlacementCheck CheckPlacement(const TDesktopSnapshot& snapshot, TNativeWindow wallpaper,
                               TDesktopStructure placedFor, bool coverIcons);

// The checks that leave the window where the user can rely on it.
inline bool PlacementHolds(TPlacementCheck check) {
  return check == TPlacementCheck::pcRight || check == TPlacementCheck::pcHidden;
}
