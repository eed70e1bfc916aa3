#include "X11TestWindows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstdlib>

namespace {

unsigned RootWidth(Display* display) {
  Window root = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &width, &height, &border, &depth);
  return width;
}

unsigned RootHeight(Display* display) {
  Window root = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &width, &height, &border, &depth);
  return height;
}

void SetClass(Display* display, Window window, const char* name) {
  XClassHint hint;
  hint.res_name = const_cast<char*>(name);
  hint.res_class = const_cast<char*>("TessaryTest");
  XSetClassHint(display, window, &hint);
  XStoreName(display, window, name);
}

}  // namespace

Window CreateWallpaperWindow(Display* display) {
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  const Pixmap tile = XCreatePixmap(display, root, 2 * kWallpaperCheck, 2 * kWallpaperCheck,
                                    static_cast<unsigned>(DefaultDepth(display, screen)));
  GC gc = XCreateGC(display, tile, 0, nullptr);
  XSetForeground(display, gc, kWallpaperMagenta);
  XFillRectangle(display, tile, gc, 0, 0, 2 * kWallpaperCheck, 2 * kWallpaperCheck);
  XSetForeground(display, gc, kWallpaperTeal);
  XFillRectangle(display, tile, gc, kWallpaperCheck, 0, kWallpaperCheck, kWallpaperCheck);
  XFillRectangle(display, tile, gc, 0, kWallpaperCheck, kWallpaperCheck, kWallpaperCheck);
  XFreeGC(display, gc);
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = tile;
  // Shown first as the program shows it: an ordinary window, smaller than the screen.
  const Window window = XCreateWindow(display, root, 50, 50, 640, 400, 0, CopyFromParent, InputOutput,
                                      CopyFromParent, CWBackPixmap, &attributes);
  XFreePixmap(display, tile);
  SetClass(display, window, "wallpaper");
  XMapWindow(display, window);
  XSync(display, False);
  return window;
}

Window CreateIconLayerWindow(Display* display) {
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  XVisualInfo info;
  if (!XMatchVisualInfo(display, screen, 32, TrueColor, &info)) std::abort();
  const Pixmap tile = XCreatePixmap(display, root, kIconTile, kIconTile, 32);
  GC gc = XCreateGC(display, tile, 0, nullptr);
  XSetForeground(display, gc, 0x00000000);  // fully clear
  XFillRectangle(display, tile, gc, 0, 0, kIconTile, kIconTile);
  XSetForeground(display, gc, 0xFF000000 | kIconYellow);
  XFillRectangle(display, tile, gc, kIconOffset, kIconOffset, kIconSide, kIconSide);
  XFreeGC(display, gc);
  XSetWindowAttributes attributes{};
  attributes.colormap = XCreateColormap(display, root, info.visual, AllocNone);
  attributes.border_pixel = 0;
  attributes.background_pixmap = tile;
  const Window window = XCreateWindow(display, root, 0, 0, RootWidth(display), RootHeight(display), 0, 32,
                                      InputOutput, info.visual, CWColormap | CWBorderPixel | CWBackPixmap,
                                      &attributes);
  XFreePixmap(display, tile);
  SetClass(display, window, "icons");
  const Atom desktop = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&desktop), 1);
  XMapWindow(display, window);
  XSync(display, False);
  return window;
}

Window CreatePlainWindow(Display* display, int x, int y, int width, int height, std::uint32_t rgb) {
  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, 0, rgb);
  SetClass(display, window, "plain");
  // Where the test puts it, not where the window manager would.
  XSizeHints hints{};
  hints.flags = USPosition | USSize;
  hints.x = x;
  hints.y = y;
  hints.width = width;
  hints.height = height;
  XSetWMNormalHints(display, window, &hints);
  XMapWindow(display, window);
  XSync(display, False);
  return window;
}

std::uint32_t ScreenPixel(Display* display, int x, int y) {
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0xFFFFFFFF;
  const std::uint32_t pixel = static_cast<std::uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
  XDestroyImage(image);
  return pixel;
}

bool SameColour(std::uint32_t a, std::uint32_t b) {
  for (int shift = 0; shift <= 16; shift += 8) {
    const int difference = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(difference) > 8) return false;
  }
  return true;
}

bool IsWallpaperColour(std::uint32_t rgb) {
  return SameColour(rgb, kWallpaperMagenta) || SameColour(rgb, kWallpaperTeal);
}
