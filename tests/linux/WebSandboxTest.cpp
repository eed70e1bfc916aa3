#include "platform/linux/WebSandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// Stand-ins for bubblewrap: scripts that answer as it does where it can and
// where it cannot make its namespaces.
class WebSandboxProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tessary-sandbox-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Script(const std::string& name, const std::string& body) {
    const fs::path path = dir / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path.string();
  }
  fs::path dir;
};

TEST_F(WebSandboxProbe, TellsWhyTheSandboxCannotStart) {
  const std::string proxy = Script("xdg-dbus-proxy", "exit 0");
  const std::string works = Script("bwrap-works", "exit 0");
  const std::string refused =
      Script("bwrap-refused", "echo 'bwrap: Creating new namespace failed: Operation not permitted' >&2; exit 1");
  const std::string silent = Script("bwrap-silent", "exit 1");
  const std::string missing = (dir / "missing").string();
  struct TCase {
    std::string bwrap;
    std::string proxy;
    bool usable;
    std::string reason;
  };
  const TCase cases[] = {
      {works, proxy, true, ""},
      {refused, proxy, false, refused + ": bwrap: Creating new namespace failed: Operation not permitted"},
      {silent, proxy, false, silent + ": cannot make the sandbox's namespaces"},
      {missing, proxy, false, missing + " is missing"},
      {works, missing, false, missing + " is missing"},
  };
  for (const TCase& c : cases) {
    const TSandboxProbe probe = ProbeWebSandbox(c.bwrap, c.proxy);
    EXPECT_EQ(probe.usable, c.usable) << c.bwrap;
    EXPECT_EQ(probe.reason, c.reason) << c.bwrap;
  }
}

// The stand-in is asked for what the engine asks of a web process.
TEST_F(WebSandboxProbe, AsksForTheNamespacesOfAWebProcess) {
  const fs::path args = dir / "args";
  const std::string bwrap = Script("bwrap", "echo \"$*\" > '" + args.string() + "'");
  ASSERT_TRUE(ProbeWebSandbox(bwrap, bwrap).usable);
  std::string line;
  std::getline(std::ifstream(args), line);
  for (const char* wanted : {"--unshare-pid", "--unshare-uts", "--unshare-ipc", "--unshare-net", "--proc /proc"}) {
    EXPECT_NE(line.find(wanted), std::string::npos) << wanted << " in " << line;
  }
}

}  // namespace
