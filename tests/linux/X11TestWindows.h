// Windows for the desktop tests on a real X server, painted by the server
// from background tiles so that they need no event loop: the live
// wallpaper stand-in (a magenta and teal check), a see-through icon layer
// (opaque yellow squares on nothing) and ordinary coloured windows.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

constexpr std::uint32_t kWallpaperMagenta = 0xFF00FF;
constexpr std::uint32_t kWallpaperTeal = 0x008080;
constexpr std::uint32_t kIconYellow = 0xFFD700;
constexpr int kWallpaperCheck = 32;  // side of one square of the check
constexpr int kIconTile = 128;       // icons repeat every tile...
constexpr int kIconOffset = 40;      // ...at this offset
constexpr int kIconSide = 48;

// A top-level window of the root's size painted with the wallpaper check, shown.
Window CreateWallpaperWindow(Display* display);
// A desktop-type window with a 32-bit visual covering the root: clear,
// with the yellow icon squares. Shown.
Window CreateIconLayerWindow(Display* display);
// An ordinary window of one colour, shown.
Window CreatePlainWindow(Display* display, int x, int y, int width, int height, std::uint32_t rgb);

// The screen's colour at a point, as 0xRRGGBB.
std::uint32_t ScreenPixel(Display* display, int x, int y);
bool IsWallpaperColour(std::uint32_t rgb);
// Within a small tolerance per channel.
bool SameColour(std::uint32_t a, std::uint32_t b);
// The centre of the icon square in tile (column, row).
inline int IconCentre(int index) { return index * kIconTile + kIconOffset + kIconSide / 2; }
