// The start at sign-in entry: its Exec line survives any program path as the
// desktops read it (GLib's own desktop entry reader), desktop-file-validate
// accepts it, and turning it off removes it.
#include "platform/linux/XdgAutostart.h"

#include <gio/gdesktopappinfo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/native/FakePlatform.h"

namespace {

namespace fs = std::filesystem;

TEST(XdgAutostart, TheExecLineNamesTheProgramWhateverItsPath) {
  TTempDir root;
  const struct {
    std::string path;
    std::string exec;
  } cases[] = {
      {"/usr/lib/tessary/TessaryMaker", R"("/usr/lib/tessary/TessaryMaker")"},
      {"/home/a b/TessaryMaker", R"("/home/a b/TessaryMaker")"},
      {"/opt/100%/Tessary", R"("/opt/100%%/Tessary")"},
      {R"(/opt/$HOME/"q"/`x`/back\slash/Tessary)", R"("/opt/\\$HOME/\\"q\\"/\\`x\\`/back\\\\slash/Tessary")"},
      {"/opt/テッサリー/TessaryMaker", R"("/opt/テッサリー/TessaryMaker")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QuotedExecValue(c.path), c.exec) << c.path;
    ASSERT_TRUE(SetXdgAutostart(root.Path().string(), c.path, true));
    const fs::path entry = root.Path() / "autostart" / kAutostartFileName;
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(entry.c_str());
    ASSERT_NE(info, nullptr) << c.path;
    gchar** argv = nullptr;
    ASSERT_TRUE(g_shell_parse_argv(g_app_info_get_commandline(G_APP_INFO(info)), nullptr, &argv, nullptr));
    EXPECT_EQ(g_strv_length(argv), 1u) << c.path;
    EXPECT_STREQ(argv[0], c.path.c_str());
    g_strfreev(argv);
    g_object_unref(info);
    EXPECT_EQ(std::system(("desktop-file-validate '" + entry.string() + "'").c_str()), 0) << ReadText(entry);
  }
}

TEST(XdgAutostart, TurningItOffRemovesTheEntryAndAnUnwritablePathIsRefused) {
  TTempDir root;
  const fs::path entry = root.Path() / "autostart" / kAutostartFileName;
  EXPECT_TRUE(SetXdgAutostart(root.Path().string(), "/usr/bin/TessaryMaker", false)) << "nothing to remove";
  ASSERT_TRUE(SetXdgAutostart(root.Path().string(), "/usr/bin/TessaryMaker", true));
  EXPECT_TRUE(fs::exists(entry));
  EXPECT_TRUE(SetXdgAutostart(root.Path().string(), "/usr/bin/TessaryMaker", false));
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_FALSE(SetXdgAutostart(root.Path().string(), "/tmp/line\nbreak/TessaryMaker", true));
  EXPECT_FALSE(fs::exists(entry));
}

}  // namespace
