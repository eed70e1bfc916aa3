#include "wallpaper/DesktopStacking.h"

#include <gtest/gtest.h>

#include "FakeDesktopStack.h"

namespace {

constexpr TNativeWindow kWallpaper = 0x100;
constexpr TNativeWindow kTerminal = 0x200;
constexpr TNativeWindow kPanel = 0x300;
constexpr TNativeWindow kIcons = 0x400;
constexpr TNativeWindow kIcons2 = 0x401;
constexpr TNativeWindow kOpaque = 0x500;
constexpr TNativeWindow kOpaque2 = 0x501;
constexpr TNativeWindow kWidget = 0x600;

using TStructure = TDesktopStructure;

// Builds a recorded stacking order from short codes, bottom to top:
// W wallpaper, T terminal, P panel, I/J see-through icon layers,
// O/Q opaque desktop windows, G a small desktop widget.
TFakeDesktopStack Recorded(const std::string& codes, bool compositor = true) {
  TFakeDesktopStack stack;
  stack.desktop.compositor = compositor;
  for (const char code : codes) {
    switch (code) {
      case 'W': {
        TStackedWindow wallpaper = stack.DesktopWindow(kWallpaper, false);
        stack.Add(wallpaper);
        break;
      }
      case 'T': stack.Add(TFakeDesktopStack::Normal(kTerminal)); break;
      case 'P': stack.Add(TFakeDesktopStack::Normal(kPanel)); break;
      case 'I': stack.Add(stack.DesktopWindow(kIcons, true)); break;
      case 'J': {
        TStackedWindow second = stack.DesktopWindow(kIcons2, true);
        second.geometry = {1920, 0, 1280, 1024};
        stack.Add(second);
        break;
      }
      case 'O': stack.Add(stack.DesktopWindow(kOpaque, false)); break;
      case 'Q': {
        TStackedWindow second = stack.DesktopWindow(kOpaque2, false);
        second.geometry = {0, 0, 960, 1080};
        stack.Add(second);
        break;
      }
      case 'G': {
        TStackedWindow widget = stack.DesktopWindow(kWidget, false);
        widget.geometry = {1600, 40, 280, 300};
        stack.Add(widget);
        break;
      }
    }
  }
  return stack;
}

}  // namespace

TEST(DesktopStacking, RecordedStacksReadAsTheirArrangementAndPlan) {
  const struct {
    const char* name;
    std::string codes;
    bool compositor;
    TStructure structure;
    TStackPlan plain;    // where the wallpaper goes with the icons shown
    TStackPlan covered;  // and with the icons hidden
  } cases[] = {
      {"bare window manager", "TP", true, TStructure::dsOwnDesktop, {0, false}, {0, false}},
      {"nothing at all", "", true, TStructure::dsOwnDesktop, {0, false}, {0, false}},
      {"see-through icon layer", "ITP", true, TStructure::dsBelowIcons, {0, false}, {kIcons, true}},
      {"alpha icon layer without a compositor is opaque", "IT", false, TStructure::dsAboveOpaque, {kIcons, true},
       {kIcons, true}},
      {"classic desktop program", "OTP", true, TStructure::dsAboveOpaque, {kOpaque, true}, {kOpaque, true}},
      {"classic desktop on two monitors", "OQT", true, TStructure::dsAboveOpaque, {kOpaque2, true},
       {kOpaque2, true}},
      {"icon layers on two monitors", "IJT", true, TStructure::dsBelowIcons, {0, false}, {kIcons2, true}},
      {"opaque background under an icon layer", "OIT", true, TStructure::dsBelowIcons, {kOpaque, true},
       {kIcons, true}},
      {"a desktop widget is no desktop", "GT", true, TStructure::dsOwnDesktop, {0, false}, {0, false}},
      {"the wallpaper's own desktop window is left out", "WT", true, TStructure::dsOwnDesktop, {0, false},
       {0, false}},
  };
  for (const auto& c : cases) {
    TFakeDesktopStack stack = Recorded(c.codes, c.compositor);
    const TDesktopReading reading = ReadDesktop(stack.desktop, kWallpaper);
    EXPECT_EQ(reading.structure, c.structure) << c.name;
    const TStackPlan plain = PlanPlacement(reading, false);
    const TStackPlan covered = PlanPlacement(reading, true);
    EXPECT_EQ(plain.sibling, c.plain.sibling) << c.name;
    EXPECT_EQ(plain.above, c.plain.above) << c.name;
    EXPECT_EQ(covered.sibling, c.covered.sibling) << c.name;
    EXPECT_EQ(covered.above, c.covered.above) << c.name;
  }
}

TEST(DesktopStacking, HiddenAndOverrideRedirectWindowsAndUnreadableStacksAreLeftOut) {
  TFakeDesktopStack unmapped = Recorded("IT");
  unmapped.Find(kIcons)->mapped = false;
  EXPECT_EQ(ReadDesktop(unmapped.desktop, kWallpaper).structure, TStructure::dsOwnDesktop);

  TFakeDesktopStack menu = Recorded("OT");
  menu.Find(kOpaque)->overrideRedirect = true;
  EXPECT_EQ(ReadDesktop(menu.desktop, kWallpaper).structure, TStructure::dsOwnDesktop);

  TFakeDesktopStack unreadable = Recorded("OT");
  unreadable.desktop.ok = false;
  EXPECT_EQ(ReadDesktop(unreadable.desktop, kWallpaper).structure, TStructure::dsUnknown);
  EXPECT_EQ(CheckPlacement(unreadable.desktop, kWallpaper, TStructure::dsAboveOpaque, false),
            TPlacementCheck::pcStructureChanged);
}

TEST(DesktopStacking, ChecksOfRecordedPlacements) {
  const struct {
    const char* name;
    std::string codes;
    TStructure placedFor;
    bool coverIcons;
    TPlacementCheck expected;
  } cases[] = {
      {"own desktop, lowest window", "WTP", TStructure::dsOwnDesktop, false, TPlacementCheck::pcRight},
      {"own desktop over a window", "TWP", TStructure::dsOwnDesktop, false, TPlacementCheck::pcWrongOrder},
      {"own desktop, a desktop program started", "OWT", TStructure::dsOwnDesktop, false,
       TPlacementCheck::pcStructureChanged},
      {"icons, then wallpaper", "WIT", TStructure::dsBelowIcons, false, TPlacementCheck::pcRight},
      {"wallpaper over the icons", "IWT", TStructure::dsBelowIcons, false, TPlacementCheck::pcWrongOrder},
      {"icons hidden: wallpaper over them", "IWT", TStructure::dsBelowIcons, true, TPlacementCheck::pcRight},
      {"icons hidden but the layer on top", "WIT", TStructure::dsBelowIcons, true, TPlacementCheck::pcWrongOrder},
      {"between opaque background and icons", "OWIT", TStructure::dsBelowIcons, false, TPlacementCheck::pcRight},
      {"below the opaque background", "WOIT", TStructure::dsBelowIcons, false, TPlacementCheck::pcWrongOrder},
      {"icon layer gone", "WT", TStructure::dsBelowIcons, false, TPlacementCheck::pcStructureChanged},
      {"above the opaque desktop", "OWTP", TStructure::dsAboveOpaque, false, TPlacementCheck::pcRight},
      {"restarted desktop program on top of it", "OWQT", TStructure::dsAboveOpaque, false,
       TPlacementCheck::pcWrongOrder},
      {"a widget on either side does not matter", "GWGT", TStructure::dsOwnDesktop, false,
       TPlacementCheck::pcRight},
      {"no wallpaper window", "OT", TStructure::dsAboveOpaque, false, TPlacementCheck::pcGone},
  };
  for (const auto& c : cases) {
    TFakeDesktopStack stack = Recorded(c.codes);
    EXPECT_EQ(CheckPlacement(stack.desktop, kWallpaper, c.placedFor, c.coverIcons), c.expected) << c.name;
  }
}

TEST(DesktopStacking, AHiddenWallpaperHoldsAndAWrongSizeIsCaught) {
  TFakeDesktopStack hidden = Recorded("TWO");
  hidden.Find(kWallpaper)->mapped = false;
  // Hidden while paused: even a changed desktop waits until it is shown again.
  EXPECT_EQ(CheckPlacement(hidden.desktop, kWallpaper, TStructure::dsOwnDesktop, false), TPlacementCheck::pcHidden);
  EXPECT_TRUE(PlacementHolds(TPlacementCheck::pcHidden));

  TFakeDesktopStack resized = Recorded("WT");
  resized.desktop.screen = {0, 0, 3840, 1080};  // a second monitor came
  EXPECT_EQ(CheckPlacement(resized.desktop, kWallpaper, TStructure::dsOwnDesktop, false),
            TPlacementCheck::pcWrongSize);
}
