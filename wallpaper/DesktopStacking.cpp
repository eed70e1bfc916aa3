#include "wallpaper/DesktopStacking.h"

#include <cstdint>

namespace {

enum class TRole {
  rlIgnored,   // unmapped, override-redirect, or a small desktop widget
  rlIcons,     // see-through desktop window: the icon layer
  rlOpaque,    // desktop window that paints its own background
  rlOther,     // any other window: it must stay above the wallpaper
};

// Desktop widgets (clocks, system monitors) also take the desktop type; only
// a window of a good part of the screen is a desktop layer. A desktop
// program draws one per monitor, so an eighth of the whole screen is enough.
bool CoversPartOfScreen(const TScreenRect& window, const TScreenRect& screen) {
  const std::int64_t screenArea = std::int64_t{screen.width} * screen.height;
  const std::int64_t area = std::int64_t{window.width} * window.height;
  return screenArea <= 0 || area * 8 >= screenArea;
}

TRole RoleOf(const TStackedWindow& window, const TDesktopSnapshot& snapshot, TNativeWindow wallpaper) {
  if (window.id == wallpaper || !window.mapped || window.overrideRedirect) return TRole::rlIgnored;
  if (!window.desktopType) return TRole::rlOther;
  if (!CoversPartOfScreen(window.geometry, snapshot.screen)) return TRole::rlIgnored;
  // Without a compositor an alpha window is drawn as it is stored, its
  // clear parts black: nothing shows through it.
  return window.alphaVisual && snapshot.compositor ? TRole::rlIcons : TRole::rlOpaque;
}

}  // namespace

TDesktopReading ReadDesktop(const TDesktopSnapshot& snapshot, TNativeWindow wallpaper) {
  TDesktopReading reading;
  if (!snapshot.ok) return reading;
  for (const TStackedWindow& window : snapshot.windows) {
    switch (RoleOf(window, snapshot, wallpaper)) {
      case TRole::rlIcons:
        if (!reading.lowestIcons) reading.lowestIcons = window.id;
        reading.highestIcons = window.id;
        ++reading.desktopWindows;
        break;
      case TRole::rlOpaque:
        reading.highestOpaque = window.id;
        ++reading.desktopWindows;
        break;
      case TRole::rlIgnored:
      case TRole::rlOther:
        break;
    }
  }
  if (reading.lowestIcons) {
    reading.structure = TDesktopStructure::dsBelowIcons;
  } else if (reading.highestOpaque) {
    reading.structure = TDesktopStructure::dsAboveOpaque;
  } else {
    reading.structure = TDesktopStructure::dsOwnDesktop;
  }
  return reading;
}

TStackPlan PlanPlacement(const TDesktopReading& reading, bool coverIcons) {
  switch (reading.structure) {
    case TDesktopStructure::dsBelowIcons:
      if (coverIcons) return {reading.highestIcons, true};
      // The lowest place that keeps the icon layer above: at the bottom, or
      // on an opaque background drawn under the icons. Windows that must stay
      // above then do, even where no window manager keeps them in layers.
      if (reading.highestOpaque) return {reading.highestOpaque, true};
      return {0, false};
    case TDesktopStructure::dsAboveOpaque:
      return {reading.highestOpaque, true};
    case TDesktopStructure::dsOwnDesktop:
    case TDesktopStructure::dsUnknown:
      break;
  }
  return {0, false};
}

TPlacementCheck CheckPlacement(const TDesktopSnapshot& snapshot, TNativeWindow wallpaper,
                               TDesktopStructure placedFor, bool coverIcons) {
  if (!snapshot.ok) return TPlacementCheck::pcStructureChanged;
  std::size_t position = snapshot.windows.size();
  for (std::size_t i = 0; i < snapshot.windows.size(); ++i) {
    if (snapshot.windows[i].id == wallpaper) position = i;
  }
  if (position == snapshot.windows.size()) return TPlacementCheck::pcGone;
  // A hidden wallpaper covers nothing; it is checked again once it is shown,
  // so a hidden (suspended) wallpaper is never shown early to re-attach it.
  const TStackedWindow& self = snapshot.windows[position];
  if (!self.mapped) return TPlacementCheck::pcHidden;
  if (ReadDesktop(snapshot, wallpaper).structure != placedFor) return TPlacementCheck::pcStructureChanged;
  if (self.geometry != snapshot.screen) return TPlacementCheck::pcWrongSize;
  // Every window keeps its side of the wallpaper: the icon layer above it
  // (below it while the icons are hidden), an opaque desktop below it, and
  // every other window above it, so the wallpaper never hides a window.
  for (std::size_t i = 0; i < snapshot.windows.size(); ++i) {
    const bool below = i < position;
    bool mustBeBelow = false;
    switch (RoleOf(snapshot.windows[i], snapshot, wallpaper)) {
      case TRole::rlIgnored: continue;
      case TRole::rlIcons: mustBeBelow = coverIcons; break;
      case TRole::rlOpaque: mustBeBelow = true; break;
      case TRole::rlOther: mustBeBelow = false; break;
    }
    if (below != mustBeBelow) return TPlacementCheck::pcWrongOrder;
  }
  return TPlacementCheck::pcRight;
}
