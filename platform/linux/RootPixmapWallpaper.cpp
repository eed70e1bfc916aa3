#include "platform/linux/RootPixmapWallpaper.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace {

constexpr const char* kRecordProperty = "_TESSARY_WALLPAPER";
constexpr const char* kRootPixmapProperty = "_XROOTPMAP_ID";
constexpr const char* kSetRootProperty = "ESETROOT_PMAP_ID";

using TPixbufPtr = std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)>;

TPixbufPtr Own(GdkPixbuf* pixbuf) { return TPixbufPtr(pixbuf, g_object_unref); }

// The picture file, turned upright by its orientation tag.
TPixbufPtr LoadPicture(const std::string& path) {
  GError* error = nullptr;
  GdkPixbuf* loaded = gdk_pixbuf_new_from_file(path.c_str(), &error);
  if (!loaded) {
    const std::string message = path + ": " + (error ? error->message : "cannot read the picture");
    g_clear_error(&error);
    throw std::runtime_error(message);
  }
  GdkPixbuf* upright = gdk_pixbuf_apply_embedded_orientation(loaded);
  g_object_unref(loaded);
  return Own(upright);
}

// Blends `picture`, scaled by sx × sy and placed at (ox, oy), into the part
// of `dest` that the rectangle (x, y, w, h) and `dest` share.
void Paint(GdkPixbuf* dest, GdkPixbuf* picture, int x, int y, int w, int h, double ox, double oy, double sx,
           double sy) {
  const int left = std::max(x, 0);
  const int top = std::max(y, 0);
  const int right = std::min(x + w, gdk_pixbuf_get_width(dest));
  const int bottom = std::min(y + h, gdk_pixbuf_get_height(dest));
  if (right <= left || bottom <= top) return;
  gdk_pixbuf_composite(picture, dest, left, top, right - left, bottom - top, ox, oy, sx, sy, GDK_INTERP_BILINEAR, 255);
}

// The shift and width of a visual's colour mask, to place an 8-bit channel.
struct TChannel {
  int shift = 0;
  int bits = 0;
  explicit TChannel(unsigned long mask) {
    while (mask && !(mask & 1)) {
      mask >>= 1;
      ++shift;
    }
    while (mask & 1) {
      mask >>= 1;
      ++bits;
    }
  }
  unsigned long Place(unsigned value) const {
    return bits >= 8 ? static_cast<unsigned long>(value) << (shift + bits - 8)
                     : static_cast<unsigned long>(value >> (8 - bits)) << shift;
  }
};

}  // namespace

GdkPixbuf* LayOutWallpaper(GdkPixbuf* picture, int width, int height, TWallpaperPosition position) {
  GdkPixbuf* dest = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  if (!dest) throw std::runtime_error("out of memory for a " + std::to_string(width) + "x" + std::to_string(height) + " wallpaper");
  gdk_pixbuf_fill(dest, 0x000000ff);
  const double pw = gdk_pixbuf_get_width(picture);
  const double ph = gdk_pixbuf_get_height(picture);
  switch (position) {
    case TWallpaperPosition::wpFill:
    case TWallpaperPosition::wpSpan: {
      const double s = std::max(width / pw, height / ph);
      Paint(dest, picture, 0, 0, width, height, (width - pw * s) / 2, (height - ph * s) / 2, s, s);
      break;
    }
    case TWallpaperPosition::wpFit: {
      const double s = std::min(width / pw, height / ph);
      const int w = std::max(1, static_cast<int>(std::lround(pw * s)));
      const int h = std::max(1, static_cast<int>(std::lround(ph * s)));
      const int x = (width - w) / 2;
      const int y = (height - h) / 2;
      Paint(dest, picture, x, y, w, h, x, y, w / pw, h / ph);
      break;
    }
    case TWallpaperPosition::wpStretch:
      Paint(dest, picture, 0, 0, width, height, 0, 0, width / pw, height / ph);
      break;
    case TWallpaperPosition::wpCenter: {
      const int x = (width - static_cast<int>(pw)) / 2;
      const int y = (height - static_cast<int>(ph)) / 2;
      Paint(dest, picture, x, y, static_cast<int>(pw), static_cast<int>(ph), x, y, 1, 1);
      break;
    }
    case TWallpaperPosition::wpTile:
      for (int y = 0; y < height; y += static_cast<int>(ph)) {
        for (int x = 0; x < width; x += static_cast<int>(pw))
          Paint(dest, picture, x, y, static_cast<int>(pw), static_cast<int>(ph), x, y, 1, 1);
      }
      break;
  }
  return dest;
}

TRootPixmapWallpaper::TRootPixmapWallpaper() : FMonitors(ListXMonitors(FDisplay)) {
  if (const auto record = ReadRecord()) FPosition = record->position;
}

Pixmap TRootPixmapWallpaper::RootPixmap(const char* property) {
  const Atom name = XInternAtom(FDisplay.Get(), property, False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long rest = 0;
  unsigned char* data = nullptr;
  Pixmap pixmap = None;
  if (XGetWindowProperty(FDisplay.Get(), FDisplay.Root(), name, 0, 1, False, XA_PIXMAP, &type, &format, &count, &rest,
                         &data) == Success &&
      data && type == XA_PIXMAP && format == 32 && count == 1) {
    pixmap = *reinterpret_cast<Pixmap*>(data);
  }
  if (data) XFree(data);
  return pixmap;
}

std::optional<TRootPixmapWallpaper::TRecord> TRootPixmapWallpaper::ReadRecord() {
  const Atom name = XInternAtom(FDisplay.Get(), kRecordProperty, False);
  const Atom utf8 = XInternAtom(FDisplay.Get(), "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long rest = 0;
  unsigned char* data = nullptr;
  std::string text;
  if (XGetWindowProperty(FDisplay.Get(), FDisplay.Root(), name, 0, 1 << 16, False, utf8, &type, &format, &count, &rest,
                         &data) == Success &&
      data && type == utf8 && format == 8) {
    text.assign(reinterpret_cast<const char*>(data), count);
  }
  if (data) XFree(data);

  const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  const Pixmap shown = RootPixmap(kRootPixmapProperty);
  if (!json.is_object() || shown == None || json.value("pixmap", 0ull) != shown) return std::nullopt;
  TRecord record;
  const auto position = json.find("position");
  if (position != json.end() && position->is_number_integer()) record.position = WallpaperPositionFromInt(*position);
  const auto files = json.find("monitors");
  if (files != json.end() && files->is_object()) {
    for (const auto& [monitor, file] : files->items()) {
      if (file.is_string()) record.files[monitor] = file.get<std::string>();
    }
  }
  return record;
}

void TRootPixmapWallpaper::WriteRecord(Pixmap pixmap, const TRecord& record) {
  nlohmann::json json = {{"pixmap", static_cast<unsigned long long>(pixmap)},
                         {"position", static_cast<int>(record.position)},
                         {"monitors", record.files}};
  const std::string text = json.dump();
  XChangeProperty(FDisplay.Get(), FDisplay.Root(), XInternAtom(FDisplay.Get(), kRecordProperty, False),
                  XInternAtom(FDisplay.Get(), "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

std::string TRootPixmapWallpaper::Wallpaper(const std::string& monitorId) {
  const auto record = ReadRecord();
  if (!record) return {};
  const auto file = record->files.find(monitorId);
  return file == record->files.end() ? std::string() : file->second;
}

TWallpaperPosition TRootPixmapWallpaper::Position() {
  const auto record = ReadRecord();
  if (!record) throw std::runtime_error("the root window shows no picture set by Tessary");
  return record->position;
}

void TRootPixmapWallpaper::SetWallpaper(const std::string& monitorId, const std::string& path, const std::string&) {
  std::vector<TXMonitor> targets;
  for (const TXMonitor& monitor : FMonitors) {
    if (monitorId.empty() || monitor.name == monitorId) targets.push_back(monitor);
  }
  if (targets.empty()) throw std::runtime_error("no monitor named " + monitorId);
  const TPixbufPtr picture = LoadPicture(path);

  Display* display = FDisplay.Get();
  const int screen = FDisplay.ScreenNumber();
  const unsigned width = DisplayWidth(display, screen);
  const unsigned height = DisplayHeight(display, screen);
  const unsigned depth = DefaultDepth(display, screen);
  const Pixmap pixmap = XCreatePixmap(display, FDisplay.Root(), width, height, depth);

  // Monitors not being changed keep what the current background shows there.
  TRecord record = ReadRecord().value_or(TRecord{});
  const Pixmap previous = RootPixmap(kRootPixmapProperty);
  GC gc = XCreateGC(display, pixmap, 0, nullptr);
  XSetForeground(display, gc, BlackPixel(display, screen));
  XFillRectangle(display, pixmap, gc, 0, 0, width, height);
  if (previous != None) {
    TXErrorTrap trap(display);
    Window root = None;
    int x = 0;
    int y = 0;
    unsigned w = 0;
    unsigned h = 0;
    unsigned border = 0;
    unsigned oldDepth = 0;
    if (XGetGeometry(display, previous, &root, &x, &y, &w, &h, &border, &oldDepth) && trap.Ok() && oldDepth == depth) {
      XCopyArea(display, previous, pixmap, gc, 0, 0, std::min(w, width), std::min(h, height), 0, 0);
    }
  }
  XFreeGC(display, gc);
  if (FPosition == TWallpaperPosition::wpSpan) {
    // One picture over the area all monitors cover together.
    TXMonitor all = targets.front();
    int right = all.x + all.width;
    int bottom = all.y + all.height;
    for (const TXMonitor& monitor : FMonitors) {
      all.x = std::min(all.x, monitor.x);
      all.y = std::min(all.y, monitor.y);
      right = std::max(right, monitor.x + monitor.width);
      bottom = std::max(bottom, monitor.y + monitor.height);
    }
    all.width = right - all.x;
    all.height = bottom - all.y;
    DrawPicture(pixmap, picture.get(), all, FPosition);
    targets = FMonitors;
  } else {
    for (const TXMonitor& monitor : targets) DrawPicture(pixmap, picture.get(), monitor, FPosition);
  }

  if (monitorId.empty()) record.files.clear();
  for (const TXMonitor& monitor : targets) record.files[monitor.name] = path;
  record.position = FPosition;
  ShowPixmap(pixmap);
  WriteRecord(pixmap, record);
  XSync(display, False);
}

void TRootPixmapWallpaper::DrawPicture(Pixmap pixmap, GdkPixbuf* picture, const TXMonitor& area,
                                       TWallpaperPosition position) {
  if (area.width <= 0 || area.height <= 0) return;
  const TPixbufPtr laid = Own(LayOutWallpaper(picture, area.width, area.height, position));
  Display* display = FDisplay.Get();
  const int screen = FDisplay.ScreenNumber();
  Visual* visual = DefaultVisual(display, screen);
  XImage* image = XCreateImage(display, visual, DefaultDepth(display, screen), ZPixmap, 0, nullptr, area.width,
                               area.height, 32, 0);
  if (!image) throw std::runtime_error("cannot make an X image for the wallpaper");
  image->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(image->bytes_per_line) * area.height));
  if (!image->data) {
    XDestroyImage(image);
    throw std::runtime_error("out of memory for the wallpaper");
  }
  const TChannel red(visual->red_mask);
  const TChannel green(visual->green_mask);
  const TChannel blue(visual->blue_mask);
  const guchar* pixels = gdk_pixbuf_read_pixels(laid.get());
  const int stride = gdk_pixbuf_get_rowstride(laid.get());
  for (int y = 0; y < area.height; ++y) {
    const guchar* src = pixels + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < area.width; ++x, src += 3)
      XPutPixel(image, x, y, red.Place(src[0]) | green.Place(src[1]) | blue.Place(src[2]));
  }
  GC gc = XCreateGC(display, pixmap, 0, nullptr);
  XPutImage(display, pixmap, gc, image, 0, 0, area.x, area.y, area.width, area.height);
  XFreeGC(display, gc);
  XDestroyImage(image);
}

void TRootPixmapWallpaper::ShowPixmap(Pixmap pixmap) {
  Display* display = FDisplay.Get();
  const Window root = FDisplay.Root();
  const Pixmap shown = RootPixmap(kRootPixmapProperty);
  const Pixmap setRoot = RootPixmap(kSetRootProperty);

  XSetWindowBackgroundPixmap(display, root, pixmap);
  XClearWindow(display, root);
  for (const char* property : {kRootPixmapProperty, kSetRootProperty}) {
    XChangeProperty(display, root, XInternAtom(display, property, False), XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pixmap), 1);
  }
  // The background outlives this connection; the one it replaces is freed:
  // ours directly, another setter's by the convention that its client was
  // kept alive for it alone.
  if (FOwnPixmap != None && shown == FOwnPixmap) {
    XFreePixmap(display, FOwnPixmap);
  } else if (shown != None && shown == setRoot) {
    TXErrorTrap trap(display);
    XKillClient(display, shown);
    trap.Ok();
  }
  FOwnPixmap = pixmap;
  XSetCloseDownMode(display, RetainPermanent);
}
