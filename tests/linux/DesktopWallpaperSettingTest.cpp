// The still wallpaper against the desktops' real settings stores: dconf
// through GSettings, xfconfd, and the X root window. Runs inside
// tests/linux/in-desktop-session.sh, which gives each run its own display,
// session bus and folders; values are read back with the desktops' own tools.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <gio/gio.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "generator/DesktopWallpaper.h"
#include "generator/WallpaperFolder.h"
#include "platform/linux/GSettingsWallpaper.h"
#include "platform/linux/ImageCodec.h"
#include "platform/linux/LinuxDesktopWallpaper.h"
#include "platform/linux/RootPixmapWallpaper.h"
#include "platform/linux/XfconfWallpaper.h"
#include "shared/FileAccess.h"
#include "tests/native/FakePlatform.h"

namespace {

namespace fs = std::filesystem;

struct TRgb {
  int r, g, b;
};

// Standard output of a shell command, without the last line break.
std::string Shell(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot run " + command);
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = pclose(pipe);
  if (status != 0) throw std::runtime_error(command + " failed: " + out);
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Uri(const std::string& path) {
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string text = uri;
  g_free(uri);
  return text;
}

// A real JPEG of four flat quadrants: top left, top right, bottom left, bottom right.
std::vector<std::uint8_t> QuadrantJpeg(int width, int height, const TRgb (&colours)[4]) {
  TRgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const TRgb& c = colours[(y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0)];
      std::uint8_t* p = &image.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = static_cast<std::uint8_t>(c.r);
      p[1] = static_cast<std::uint8_t>(c.g);
      p[2] = static_cast<std::uint8_t>(c.b);
    }
  }
  return TLinuxImageCodec().EncodeJpeg(image, 95);
}

constexpr TRgb kWarm[4] = {{220, 30, 30}, {30, 200, 40}, {30, 40, 210}, {250, 250, 250}};
constexpr TRgb kCool[4] = {{250, 220, 0}, {0, 200, 200}, {200, 0, 200}, {20, 20, 20}};

// The same JPEG claiming another size in its frame header.
std::vector<std::uint8_t> WithClaimedSize(std::vector<std::uint8_t> jpeg, int width, int height) {
  for (std::size_t i = 2; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<std::uint8_t>(height);
      jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<std::uint8_t>(width);
      return jpeg;
    }
  }
  throw std::runtime_error("no frame header");
}

class TOpenWith : public IDesktopWallpaperProvider {
 public:
  explicit TOpenWith(std::function<std::unique_ptr<IDesktopWallpaper>()> open) : FOpen(std::move(open)) {}
  std::unique_ptr<IDesktopWallpaper> Open() override { return FOpen(); }

 private:
  std::function<std::unique_ptr<IDesktopWallpaper>()> FOpen;
};

// The generator's wallpaper commands on one real desktop backend.
class TWallpaperSession {
 public:
  explicit TWallpaperSession(std::function<std::unique_ptr<IDesktopWallpaper>()> open)
      : provider(std::move(open)),
        folder(WallpaperFolderPath((root.Path() / "Pictures").string())),
        backupPath(WallpaperBackupPath((root.Path() / "config").string())),
        wallpaper(provider, codec, bridge, [this](const std::string& e, const TJson& p) { events.push_back({e, p}); },
                  folder, backupPath) {}

  // Sets the picture and gives the first answer.
  TEmitted Set(const std::vector<std::uint8_t>& jpeg) {
    events.clear();
    wallpaper.SetWallpaperPicture("r" + std::to_string(++requests), jpeg);
    return events.at(0);
  }
  TEmitted Ask(void (TDesktopWallpaper::*command)()) {
    events.clear();
    (wallpaper.*command)();
    return events.at(0);
  }
  std::string Own(int number) const { return (fs::path(folder) / ("wallpaper (" + std::to_string(number) + ").jpg")).string(); }
  std::string Backup() const { return fs::exists(backupPath) ? ReadText(backupPath) : "(none)"; }

  TTempDir root;
  TOpenWith provider;
  TLinuxImageCodec codec;
  THostBridge bridge;
  std::string folder;
  std::string backupPath;
  std::vector<TEmitted> events;
  int requests = 0;
  TDesktopWallpaper wallpaper;
};

// Set, set again, check and restore on a desktop whose settings `read` shows
// as text: the restore goes back to the first picture.
void SetTwiceAndRestore(TWallpaperSession& session, const std::function<std::string()>& read,
                        const std::function<std::string(const std::string& path)>& expectedAfterSet) {
  TEmitted done = session.Set(QuadrantJpeg(160, 90, kWarm));
  ASSERT_EQ(done.event, "wallpaperDone") << WriteJson(done.payload);
  EXPECT_EQ(done.payload["undoCaptured"], true);
  EXPECT_EQ(done.payload["undoSaved"], true);
  EXPECT_EQ(read(), expectedAfterSet(session.Own(1)));

  done = session.Set(QuadrantJpeg(160, 90, kCool));
  ASSERT_EQ(done.event, "wallpaperDone") << WriteJson(done.payload);
  EXPECT_EQ(read(), expectedAfterSet(session.Own(2)));
  EXPECT_EQ(WriteJson(session.Ask(&TDesktopWallpaper::CheckRestore).payload),
            R"({"hasBackup":true,"missing":false,"matchesLastSet":true})");

  // Back to the first picture, whose file is still there.
  EXPECT_EQ(session.Ask(&TDesktopWallpaper::RestoreWallpaper).event, "restoreDone");
  EXPECT_EQ(read(), expectedAfterSet(session.Own(1)));
  EXPECT_TRUE(fs::exists(session.Own(1)));
}

struct TGSettingsCase {
  const TGSettingsBackground* where;
  std::vector<std::pair<std::string, std::string>> keys;  // key → the user's value, as gsettings prints it
};

std::string GSettingsRead(const TGSettingsBackground& where) {
  std::string text;
  for (const char* key : {where.pictureKey, where.darkKey, "picture-options"}) {
    if (key) text += std::string(key) + "=" + Shell("gsettings get " + std::string(where.schema) + " " + key) + "\n";
  }
  return text;
}

class GSettingsWallpaperTest : public ::testing::TestWithParam<const TGSettingsBackground*> {};

TEST_P(GSettingsWallpaperTest, SetTwiceCheckAndRestoreTheUsersValuesExactly) {
  const TGSettingsBackground& where = *GetParam();
  TWallpaperSession session([&] { return std::make_unique<TGSettingsWallpaper>(where); });
  const std::string light = session.root.Write("Photos/my light (1).jpg", "x").string();
  const std::string dark = session.root.Write("Photos/mon fond sombre é.png", "x").string();
  const std::string schema = where.schema;
  const auto setUsersValues = [&] {
    Shell("gsettings set " + schema + " " + where.pictureKey + " " + Quote(where.pictureIsUri ? Uri(light) : light));
    if (where.darkKey) Shell("gsettings set " + schema + " " + where.darkKey + " " + Quote(Uri(dark)));
    Shell("gsettings set " + schema + " picture-options centered");
  };
  setUsersValues();
  const std::string original = GSettingsRead(where);

  SetTwiceAndRestore(session, [&] { return GSettingsRead(where); }, [&](const std::string& path) {
    const std::string shown = "'" + (where.pictureIsUri ? Uri(path) : path) + "'";
    return std::string(where.pictureKey) + "=" + shown + "\n" +
           (where.darkKey ? std::string(where.darkKey) + "=" + shown + "\n" : "") + "picture-options='zoom'\n";
  });
  // One set and a restore bring back the user's own setting, dark picture
  // and style included.
  setUsersValues();
  ASSERT_EQ(session.Set(QuadrantJpeg(160, 90, kWarm)).event, "wallpaperDone");
  EXPECT_NE(GSettingsRead(where), original);
  EXPECT_EQ(session.Ask(&TDesktopWallpaper::RestoreWallpaper).event, "restoreDone");
  EXPECT_EQ(GSettingsRead(where), original);
}

INSTANTIATE_TEST_SUITE_P(Desktops, GSettingsWallpaperTest,
                         ::testing::Values(&kGnomeBackground, &kCinnamonBackground, &kMateBackground),
                         [](const auto& info) { return std::string(info.param->desktop); });

TEST(GSettingsWallpaper, ASolidColourIsNoPictureToRestore) {
  Shell("gsettings set org.gnome.desktop.background picture-options none");
  TWallpaperSession session([] { return std::make_unique<TGSettingsWallpaper>(kGnomeBackground); });
  EXPECT_EQ(WriteJson(session.Ask(&TDesktopWallpaper::CheckWallpaper).payload),
            R"({"restorable":false,"hasBackup":false})");
  const TEmitted done = session.Set(QuadrantJpeg(160, 90, kWarm));
  EXPECT_EQ(done.payload["undoCaptured"], false);
  EXPECT_EQ(Shell("gsettings get org.gnome.desktop.background picture-options"), "'zoom'");
}

TEST(GSettingsWallpaper, BadPicturesChangeNeitherTheDesktopNorTheBackup) {
  TWallpaperSession session([] { return std::make_unique<TGSettingsWallpaper>(kGnomeBackground); });
  const std::string user = session.root.Write("Photos/user.jpg", "x").string();
  Shell("gsettings set org.gnome.desktop.background picture-uri " + Quote(Uri(user)));
  Shell("gsettings set org.gnome.desktop.background picture-options scaled");
  ASSERT_EQ(session.Set(QuadrantJpeg(160, 90, kWarm)).event, "wallpaperDone");
  const std::string settings = GSettingsRead(kGnomeBackground);
  const std::string backup = session.Backup();

  const std::vector<std::uint8_t> good = QuadrantJpeg(64, 48, kCool);
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* message;  // the whole message, or "" for the codec's own
  } cases[] = {
      {"text", Bytes("this is not a picture"), "not a JPEG picture"},
      {"PNG", Bytes("\x89PNG\r\n\x1a\n0000"), "not a JPEG picture"},
      {"0 x 0", WithClaimedSize(good, 0, 0), ""},
      {"20000 x 20000", WithClaimedSize(good, 20000, 20000), "unsupported image size (20000x20000)"},
  };
  for (const auto& c : cases) {
    const TEmitted answer = session.Set(c.bytes);
    EXPECT_EQ(answer.event, "wallpaperError") << c.name;
    EXPECT_EQ(session.events.size(), 1u) << c.name;
    const std::string message = answer.payload.value("message", "");
    if (*c.message) {
      EXPECT_EQ(message, c.message) << c.name;
    }
    EXPECT_FALSE(message.empty()) << c.name;
    EXPECT_EQ(GSettingsRead(kGnomeBackground), settings) << c.name;
    EXPECT_EQ(session.Backup(), backup) << c.name;
    EXPECT_FALSE(fs::exists(session.Own(2))) << c.name;
  }
}

// xfconf-query's view of one workspace of the virtual screen's monitor.
std::string XfceRead(int workspace = 0) {
  const std::string base = "/backdrop/screen0/monitorscreen/workspace" + std::to_string(workspace) + "/";
  return Shell("xfconf-query -c xfce4-desktop -p " + base + "last-image") + " style " +
         Shell("xfconf-query -c xfce4-desktop -p " + base + "image-style");
}

void XfceWrite(int workspace, const std::string& image, int style) {
  const std::string base = "/backdrop/screen0/monitorscreen/workspace" + std::to_string(workspace) + "/";
  Shell("xfconf-query -c xfce4-desktop -n -t string -p " + base + "last-image -s " + Quote(image));
  Shell("xfconf-query -c xfce4-desktop -n -t int -p " + base + "image-style -s " + std::to_string(style));
}

TEST(XfconfWallpaper, SetTwiceCheckAndRestoreTheUsersValuesExactly) {
  TWallpaperSession session([] { return std::make_unique<TXfconfWallpaper>(); });
  const std::string user = session.root.Write("Photos/xfce user.jpg", "x").string();
  XfceWrite(0, user, 3);
  const std::string original = XfceRead();
  ASSERT_EQ(original, user + " style 3");
  SetTwiceAndRestore(session, [] { return XfceRead(); }, [](const std::string& path) { return path + " style 5"; });
  XfceWrite(0, user, 3);
  ASSERT_EQ(session.Set(QuadrantJpeg(160, 90, kWarm)).event, "wallpaperDone");
  EXPECT_EQ(session.Ask(&TDesktopWallpaper::RestoreWallpaper).event, "restoreDone");
  EXPECT_EQ(XfceRead(), original);
}

TEST(XfconfWallpaper, EachWorkspaceGetsThePictureWhenTheyDoNotShareOne) {
  TWallpaperSession session([] { return std::make_unique<TXfconfWallpaper>(); });
  const std::string user = session.root.Write("Photos/user.jpg", "x").string();
  Shell("xfconf-query -c xfce4-desktop -n -t bool -p /backdrop/single-workspace-mode -s false");
  XfceWrite(0, user, 4);
  XfceWrite(1, user, 4);
  ASSERT_EQ(session.Set(QuadrantJpeg(160, 90, kWarm)).event, "wallpaperDone");
  EXPECT_EQ(XfceRead(0), session.Own(1) + " style 5");
  EXPECT_EQ(XfceRead(1), session.Own(1) + " style 5");
  EXPECT_EQ(session.Ask(&TDesktopWallpaper::RestoreWallpaper).event, "restoreDone");
  EXPECT_EQ(XfceRead(1), user + " style 4");
  Shell("xfconf-query -c xfce4-desktop -p /backdrop/single-workspace-mode -r");
}

TEST(XfconfWallpaper, ADesktopNeverConfiguredTakesThePictureWithoutUndo) {
  Shell("xfconf-query -c xfce4-desktop -p /backdrop -r -R 2>/dev/null || true");
  TWallpaperSession session([] { return std::make_unique<TXfconfWallpaper>(); });
  const TEmitted done = session.Set(QuadrantJpeg(160, 90, kWarm));
  ASSERT_EQ(done.event, "wallpaperDone") << WriteJson(done.payload);
  EXPECT_EQ(done.payload["undoCaptured"], false);
  EXPECT_EQ(XfceRead(), session.Own(1) + " style 5");
}

// The root window's pixels as a screenshot tool sees them.
class TScreenshot {
 public:
  TScreenshot() {
    const std::string file = (fs::temp_directory_path() / ("tessary-root-" + std::to_string(getpid()) + ".ppm")).string();
    Shell("import -window root -depth 8 " + file);
    const std::vector<std::uint8_t> bytes = ReadFileBytes(file);
    fs::remove(file);
    std::string header(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 64));
    int maxValue = 0;
    int consumed = 0;
    if (std::sscanf(header.c_str(), "P6 %d %d %d%n", &FWidth, &FHeight, &maxValue, &consumed) != 3 || maxValue != 255)
      throw std::runtime_error("not a PPM screenshot");
    FPixels.assign(bytes.begin() + consumed + 1, bytes.end());
  }
  TRgb At(int x, int y) const {
    const std::uint8_t* p = &FPixels.at((static_cast<std::size_t>(y) * FWidth + x) * 3);
    return {p[0], p[1], p[2]};
  }

 private:
  int FWidth = 0;
  int FHeight = 0;
  std::vector<std::uint8_t> FPixels;
};

bool Near(const TRgb& a, const TRgb& b) {
  return std::abs(a.r - b.r) <= 12 && std::abs(a.g - b.g) <= 12 && std::abs(a.b - b.b) <= 12;
}

// On the 320 × 240 screen a 160 × 90 picture is zoomed to 426.7 × 240 and
// cropped left and right: these points fall well inside each quadrant.
void ExpectFilledWith(const TRgb (&colours)[4]) {
  const TScreenshot shot;
  const struct {
    int x, y, quadrant;
  } points[] = {{40, 60, 0}, {280, 60, 1}, {40, 180, 2}, {280, 180, 3}, {100, 8, 0}};
  for (const auto& p : points) {
    const TRgb seen = shot.At(p.x, p.y);
    EXPECT_TRUE(Near(seen, colours[p.quadrant]))
        << "at " << p.x << "," << p.y << ": " << seen.r << " " << seen.g << " " << seen.b;
  }
}

TEST(RootPixmapWallpaper, SetTwiceCheckAndRestoreOnTheRootWindow) {
  TWallpaperSession session([] { return std::make_unique<TRootPixmapWallpaper>(); });
  // Nothing of ours on the root window yet: the set cannot be undone.
  EXPECT_EQ(WriteJson(session.Ask(&TDesktopWallpaper::CheckWallpaper).payload),
            R"({"restorable":false,"hasBackup":false})");
  TEmitted done = session.Set(QuadrantJpeg(160, 90, kWarm));
  ASSERT_EQ(done.event, "wallpaperDone") << WriteJson(done.payload);
  EXPECT_EQ(done.payload["undoCaptured"], false);
  const std::string pixmap = Shell("xprop -root _XROOTPMAP_ID");
  EXPECT_TRUE(pixmap.starts_with("_XROOTPMAP_ID(PIXMAP): pixmap id # 0x")) << pixmap;
  EXPECT_EQ(Shell("xprop -root ESETROOT_PMAP_ID").substr(18), pixmap.substr(15));
  ExpectFilledWith(kWarm);

  done = session.Set(QuadrantJpeg(160, 90, kCool));
  EXPECT_EQ(done.payload["undoSaved"], true);
  EXPECT_NE(Shell("xprop -root _XROOTPMAP_ID"), pixmap);
  ExpectFilledWith(kCool);
  EXPECT_EQ(WriteJson(session.Ask(&TDesktopWallpaper::CheckRestore).payload),
            R"({"hasBackup":true,"missing":false,"matchesLastSet":true})");
  EXPECT_EQ(session.Ask(&TDesktopWallpaper::RestoreWallpaper).event, "restoreDone");
  ExpectFilledWith(kWarm);
  EXPECT_EQ(TRootPixmapWallpaper().Wallpaper("screen"), session.Own(1));
}

TEST(RootPixmapWallpaper, ABackgroundSetByAnotherProgramNamesNoFile) {
  TWallpaperSession session([] { return std::make_unique<TRootPixmapWallpaper>(); });
  ASSERT_EQ(session.Set(QuadrantJpeg(160, 90, kWarm)).event, "wallpaperDone");
  EXPECT_EQ(TRootPixmapWallpaper().Wallpaper("screen"), session.Own(1));
  {
    const TXDisplay display;
    const Pixmap other = XCreatePixmap(display.Get(), display.Root(), 8, 8, DefaultDepth(display.Get(), 0));
    XChangeProperty(display.Get(), display.Root(), XInternAtom(display.Get(), "_XROOTPMAP_ID", False), XA_PIXMAP, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&other), 1);
    XSync(display.Get(), False);
    EXPECT_EQ(TRootPixmapWallpaper().Wallpaper("screen"), "");
  }
  EXPECT_EQ(session.Ask(&TDesktopWallpaper::CheckWallpaper).payload["restorable"], false);
}

TEST(LinuxDesktopWallpaper, TheSessionsDesktopChoosesTheSetting) {
  const struct {
    const char* desktop;
    const char* session;
    std::function<bool(IDesktopWallpaper*)> is;
  } cases[] = {
      {"ubuntu:GNOME", "x11", [](IDesktopWallpaper* w) { return dynamic_cast<TGSettingsWallpaper*>(w) != nullptr; }},
      {"X-Cinnamon", "x11", [](IDesktopWallpaper* w) { return dynamic_cast<TGSettingsWallpaper*>(w) != nullptr; }},
      {"MATE", "x11", [](IDesktopWallpaper* w) { return dynamic_cast<TGSettingsWallpaper*>(w) != nullptr; }},
      {"XFCE", "x11", [](IDesktopWallpaper* w) { return dynamic_cast<TXfconfWallpaper*>(w) != nullptr; }},
      {"", "", [](IDesktopWallpaper* w) { return dynamic_cast<TRootPixmapWallpaper*>(w) != nullptr; }},
      {"openbox", "x11", [](IDesktopWallpaper* w) { return dynamic_cast<TRootPixmapWallpaper*>(w) != nullptr; }},
  };
  for (const auto& c : cases) EXPECT_TRUE(c.is(OpenDesktopWallpaper(c.desktop, c.session).get())) << c.desktop;

  for (const char* desktop : {"KDE", "sway"}) {
    try {
      OpenDesktopWallpaper(desktop, "wayland");
      ADD_FAILURE() << desktop;
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(desktop == std::string("KDE") ? "KDE Plasma" : "sway"),
                std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
