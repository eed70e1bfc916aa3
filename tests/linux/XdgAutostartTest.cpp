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
  // Beside the temporary folder's own path: what the entry makes of the rest.
  const struct {
    std::string tail;
    std::string quotedTail;
  } cases[] = {
      {"/lib/tessary/TessaryMaker", "/lib/tessary/TessaryMaker"},
      {"/a b/TessaryMaker", "/a b/TessaryMaker"},
      {"/100%/Tessary", "/100%%/Tessary"},
      {R"(/$HOME/"q"/`x`/back\slash/Tessary)", R"(/\\$HOME/\\"q\\"/\\`x\\`/back\\\\slash/Tessary)"},
      {"/テッサリー/TessaryMaker", "/テッサリー/TessaryMaker"},
  };
  for (const auto& c : cases) {
    // GLib reads an entry only when its program exists.
    const fs::path program = root.Path() / "programs" / fs::path(c.tail).relative_path();
    fs::create_directories(program.parent_path());
    root.Write(fs::relative(program, root.Path()).string(), "");
    fs::permissions(program, fs::perms::owner_all);
    EXPECT_EQ(QuotedExecValue(program.string()), "\"" + (root.Path() / "programs").string() + c.quotedTail + "\"")
        << c.tail;

    ASSERT_TRUE(SetXdgAutostart(root.Path().string(), program.string(), true));
    const fs::path entry = root.Path() / "autostart" / kAutostartFileName;
    EXPECT_EQ(std::system(("desktop-file-validate '" + entry.string() + "'").c_str()), 0) << ReadText(entry);
    // GLib looks for the program before it expands "%%", so it cannot find
    // one whose path holds a "%": only the written form is checked then.
    if (c.tail.find('%') != std::string::npos) continue;
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(entry.c_str());
    ASSERT_NE(info, nullptr) << ReadText(entry);
    gchar** argv = nullptr;
    ASSERT_TRUE(g_shell_parse_argv(g_app_info_get_commandline(G_APP_INFO(info)), nullptr, &argv, nullptr));
    EXPECT_EQ(g_strv_length(argv), 1u) << c.tail;
    EXPECT_STREQ(argv[0], program.c_str());
    g_strfreev(argv);
    g_object_unref(info);
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
