// The real TessaryLive on a private session bus and a virtual screen:
// single instance, answers from the live hand-over store with the state of
// its wallpaper, the generator's "--ipc=" batch actions (also those of the
// real TessaryMaker), and the end of the session.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <filesystem>

#include "platform/linux/GDBusTransport.h"
#include "platform/linux/SingleInstance.h"
#include "shared/FileAccess.h"
#include "shared/LiveHandoff.h"
#include "shared/WallpaperIpc.h"
#include "tests/linux/ChildProcess.h"

namespace {

namespace fs = std::filesystem;

const std::string kLiveProgram = std::string(TESSARY_BIN_DIR) + "/TessaryLive";
const std::string kMakerProgram = std::string(TESSARY_BIN_DIR) + "/TessaryMaker";

std::string ReadText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

class LiveProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(FHome);
    // TessaryLive inherits them: it reads the same store as this test
    // writes, keeps its browser profile here, and needs no accessibility
    // bus or desktop file services.
    setenv("XDG_DATA_HOME", FHome.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (FHome / "config").c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("GIO_USE_VFS", "local", 1);
  }
  void TearDown() override {
    // Whatever still runs ends before the next test needs the name.
    SendWallpaperCommand(FBus, kMsgQuit);
    WaitUntil([&] { return !FindWallpaperIpc(FBus); }, 3000);
    std::error_code ignored;
    fs::remove_all(FHome, ignored);
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
  }

  std::unique_ptr<TChildProcess> StartLive() {
    auto live = std::make_unique<TChildProcess>(std::vector<std::string>{kLiveProgram});
    EXPECT_TRUE(WaitUntil([&] { return FindWallpaperIpc(FBus); }, 5000)) << live->Stderr();
    return live;
  }

  static void HandOver() {
    ASSERT_TRUE(BeginHandoff());
    ASSERT_TRUE(CommitHandoff(R"({"motion":"drop","drawList":[]})"));
  }

  std::string Batch(const std::string& action) {
    return WriteJson(IpcBatchResultJson(RunIpcBatchAction(FBus, action)));
  }
  // The page loads and takes the data a moment after the start.
  bool BecomesRunning() {
    return WaitUntil([&] { return QueryWallpaperState(FBus) == scRunning; }, 20000);
  }

  fs::path FHome = fs::temp_directory_path() / ("tessary-live-" + std::to_string(::getpid()));
  TGDBusTransport FBus{nullptr, TESSARY_BIN_DIR};
};

TEST_F(LiveProgramTest, ASecondInstanceEndsAtOnceAndSilently) {
  auto first = StartLive();
  TChildProcess second({kLiveProgram});
  EXPECT_EQ(second.Wait(2000), 0);
  EXPECT_EQ(second.RestOfStdout(), "");
  EXPECT_EQ(second.Stderr(), "");
  // The first one runs on, undisturbed.
  EXPECT_EQ(first->Wait(0), std::nullopt);
  EXPECT_EQ(Batch("quit"), R"({"found":true,"sent":true,"state":0})");
  EXPECT_EQ(first->Wait(3000), 0);
  EXPECT_EQ(first->Stderr(), "");
}

TEST_F(LiveProgramTest, AnswersComeFromTheHandOverStore) {
  auto live = StartLive();
  EXPECT_EQ(Batch("start"), R"({"found":true,"sent":true,"state":0})");  // nothing handed over yet
  HandOver();
  const TIpcBatchResult started = RunIpcBatchAction(FBus, "START");
  EXPECT_TRUE(started.found && started.sent);
  EXPECT_TRUE(started.state == scStarting || started.state == scRunning) << started.state;
  ASSERT_TRUE(BecomesRunning()) << live->Stderr();
  EXPECT_EQ(Batch("stop"), R"({"found":true,"sent":true,"state":0})");
  EXPECT_TRUE(SendWallpaperCommand(FBus, kMsgStart));
  ASSERT_TRUE(BecomesRunning());
  EXPECT_EQ(Batch("refresh"), R"({"found":true,"sent":true,"state":1})");  // unknown: sends nothing

  // What the README tells users to type.
  TChildProcess gdbus({"/usr/bin/gdbus", "call", "--session", "--dest", "org.tessary.Live", "--object-path",
                       "/org/tessary/Live", "--method", "org.tessary.Live.State"});
  EXPECT_EQ(gdbus.ReadLine(5000), "(1,)") << gdbus.Stderr();
  EXPECT_EQ(gdbus.Wait(5000), 0);

  EXPECT_EQ(Batch("Quit"), R"({"found":true,"sent":true,"state":0})");
  EXPECT_EQ(live->Wait(3000), 0);
  EXPECT_EQ(Batch("STOP"), R"({"found":false,"sent":false,"state":0})");
}

// What a script gets from "TessaryMaker --ipc=<action> --ipc-out=<file>".
std::string MakerBatch(const fs::path& folder, const std::string& action) {
  const std::string out = (folder / "ipc.json").string();
  fs::remove(out);
  TChildProcess maker({kMakerProgram, "--ipc=" + action, "--ipc-out=" + out});
  EXPECT_EQ(maker.Wait(10000), 0) << maker.Stderr();
  return fs::exists(out) ? ReadText(out) : "(no file)";
}

TEST_F(LiveProgramTest, TheGeneratorsBatchRunDrivesItWhileAWindowIsOpenAndWithoutADisplay) {
  setenv("XDG_RUNTIME_DIR", FHome.c_str(), 1);
  const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  // A generator window is open: it holds the single-instance lock.
  TSingleInstance window("TessaryMaker.SingleInstance");
  ASSERT_FALSE(window.AlreadyRunning());

  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(MakerBatch(FHome, "STOP"), bom + R"({"found":false,"sent":false,"state":0})");
  // The live wallpaper it launches inherits its display: it shows its window there.
  setenv("DISPLAY", display.c_str(), 1);
  EXPECT_EQ(MakerBatch(FHome, "launch"), bom + R"({"found":false,"sent":true,"state":0})");
  unsetenv("DISPLAY");
  ASSERT_TRUE(WaitUntil([&] { return FindWallpaperIpc(FBus); }, 5000));
  EXPECT_EQ(MakerBatch(FHome, "start"), bom + R"({"found":true,"sent":true,"state":0})");  // nothing handed over
  HandOver();
  const std::string started = MakerBatch(FHome, "Start");  // starting or, once its page has the pile, running
  EXPECT_TRUE(started == bom + R"({"found":true,"sent":true,"state":3})" ||
              started == bom + R"({"found":true,"sent":true,"state":1})")
      << started;
  ASSERT_TRUE(BecomesRunning());
  EXPECT_EQ(MakerBatch(FHome, "refresh"), bom + R"({"found":true,"sent":true,"state":1})");  // sends nothing
  EXPECT_EQ(MakerBatch(FHome, "stop"), bom + R"({"found":true,"sent":true,"state":0})");
  EXPECT_EQ(MakerBatch(FHome, "quit"), bom + R"({"found":true,"sent":true,"state":0})");
  EXPECT_TRUE(WaitUntil([&] { return !FindWallpaperIpc(FBus); }, 3000));

  // Without --ipc-out= nothing is written, and the run still ends well.
  TChildProcess quiet({kMakerProgram, "--ipc=stop"});
  EXPECT_EQ(quiet.Wait(10000), 0) << quiet.Stderr();
  unsetenv("XDG_RUNTIME_DIR");
}

TEST_F(LiveProgramTest, TheGeneratorsSelfTestPassesOnTheRealStore) {
  const std::string out = (FHome / "selftest.json").string();
  TChildProcess maker({kMakerProgram, "--handoff-selftest=" + out});
  ASSERT_EQ(maker.Wait(10000), 0) << maker.Stderr();
  const std::string text = ReadText(out);
  ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
  const TJson result = TJson::parse(text.substr(3));
  ASSERT_EQ(result.size(), 29u) << text;
  for (const auto& [member, value] : result.items()) {
    if (member == "root") {
      EXPECT_EQ(value, (FHome / "Tessary" / "live").string());
    } else {
      EXPECT_EQ(value, true) << member;
    }
  }
  EXPECT_FALSE(fs::exists(FHome / "Tessary" / "live"));
}

TEST_F(LiveProgramTest, PlaysTheHandOverFoundAtStart) {
  HandOver();
  auto live = StartLive();
  EXPECT_TRUE(BecomesRunning()) << live->Stderr();
}

TEST_F(LiveProgramTest, TheGeneratorLaunchesItFromItsOwnFolder) {
  EXPECT_EQ(Batch("launch"), R"({"found":false,"sent":true,"state":0})");
  EXPECT_TRUE(WaitUntil([&] { return FindWallpaperIpc(FBus); }, 5000));
  EXPECT_TRUE(SendWallpaperCommand(FBus, kMsgQuit));
  ASSERT_TRUE(WaitUntil([&] { return !FindWallpaperIpc(FBus); }, 3000));

  HandOver();
  EXPECT_TRUE(EnsureWallpaperStarted(FBus));
  EXPECT_TRUE(BecomesRunning());
  // Already running: no second launch, just the start.
  EXPECT_TRUE(EnsureWallpaperStarted(FBus));

  TGDBusTransport elsewhere(nullptr, FHome.string());
  SendWallpaperCommand(FBus, kMsgQuit);
  ASSERT_TRUE(WaitUntil([&] { return !FindWallpaperIpc(FBus); }, 3000));
  EXPECT_FALSE(EnsureWallpaperStarted(elsewhere));  // no TessaryLive in that folder
}

TEST_F(LiveProgramTest, ShowMainReportsWhetherTheGeneratorGotIt) {
  const std::string out = (FHome / "sent.json").string();
  TChildProcess alone({kLiveProgram, "--show-main=" + out});
  EXPECT_EQ(alone.Wait(3000), 0);
  EXPECT_EQ(ReadText(out), "\xEF\xBB\xBF{\"sent\":false}");

  TChildProcess maker({TESSARY_IPC_TEST_PEER, "--serve=maker"});
  ASSERT_EQ(maker.ReadLine(5000), "ready");
  TChildProcess asks({kLiveProgram, "--show-main=" + out});
  EXPECT_EQ(asks.Wait(3000), 0);
  EXPECT_EQ(maker.ReadLine(2000), "show");
  EXPECT_EQ(ReadText(out), "\xEF\xBB\xBF{\"sent\":true}");

  TChildProcess opens({kLiveProgram, "--open-album-test=20240501-101500-abcd"});
  EXPECT_EQ(opens.Wait(3000), 0);
  EXPECT_EQ(maker.ReadLine(2000), "open 20240501-101500-abcd");
}

TEST_F(LiveProgramTest, EndsWhenTheSessionBusGoesAway) {
  TChildProcess daemon({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"});
  const std::optional<std::string> address = daemon.ReadLine(5000);
  ASSERT_TRUE(address && !address->empty()) << daemon.Stderr();
  const std::string ownBus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1);
  TChildProcess live({kLiveProgram});
  {
    TGDBusTransport thatBus;
    EXPECT_TRUE(WaitUntil([&] { return FindWallpaperIpc(thatBus); }, 5000)) << live.Stderr();
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", ownBus.c_str(), 1);
  daemon.Signal(SIGTERM);
  EXPECT_EQ(live.Wait(3000), 0);
}

}  // namespace
