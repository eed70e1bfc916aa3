// The messages on a real (private) session bus, between this test as the
// caller and a stand-in program as the server.
#include "platform/linux/GDBusTransport.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>

#include "shared/WallpaperIpc.h"
#include "tests/linux/ChildProcess.h"

namespace {

using TClock = std::chrono::steady_clock;

std::unique_ptr<TChildProcess> StartPeer(const std::vector<std::string>& options) {
  std::vector<std::string> argv{TESSARY_IPC_TEST_PEER};
  argv.insert(argv.end(), options.begin(), options.end());
  auto peer = std::make_unique<TChildProcess>(argv);
  EXPECT_EQ(peer->ReadLine(5000), "ready") << peer->Stderr();
  return peer;
}

long ElapsedMs(TClock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - since).count());
}

TEST(GDBusTransport, EveryLiveMessageArrivesAndIsAnswered) {
  TGDBusTransport bus;
  auto peer = StartPeer({"--serve=live", "--state=2", "--start=0"});
  EXPECT_TRUE(FindWallpaperIpc(bus));
  EXPECT_EQ(QueryWallpaperState(bus), scPaused);
  EXPECT_EQ(peer->ReadLine(2000), "state");
  EXPECT_TRUE(SendWallpaperCommand(bus, kMsgStart));  // delivered, though the answer is 0
  EXPECT_EQ(peer->ReadLine(2000), "start");
  EXPECT_TRUE(SendWallpaperCommand(bus, kMsgStop));
  EXPECT_EQ(peer->ReadLine(2000), "stop");
  EXPECT_TRUE(SendWallpaperCommand(bus, kMsgQuit));
  EXPECT_EQ(peer->ReadLine(2000), "quit");
  EXPECT_EQ(peer->Wait(3000), 0);
  EXPECT_TRUE(WaitUntil([&] { return !FindWallpaperIpc(bus); }, 2000));
  EXPECT_EQ(QueryWallpaperState(bus), scStopped);
}

TEST(GDBusTransport, EveryGeneratorMessageArrivesAndIsAnswered) {
  TGDBusTransport bus;
  auto peer = StartPeer({"--serve=maker"});
  EXPECT_TRUE(RequestShowMain(bus));
  EXPECT_EQ(peer->ReadLine(2000), "show");
  EXPECT_TRUE(RequestOpenAlbum(bus, "20240501-101500-思い出"));
  EXPECT_EQ(peer->ReadLine(2000), "open 20240501-101500-思い出");
  EXPECT_FALSE(RequestOpenAlbum(bus, ""));
  // The live wallpaper program's name is another one.
  EXPECT_FALSE(FindWallpaperIpc(bus));
}

TEST(GDBusTransport, WithNobodyThereNothingIsDeliveredAndNothingWaits) {
  TGDBusTransport bus;
  const TClock::time_point start = TClock::now();
  EXPECT_FALSE(FindWallpaperIpc(bus));
  EXPECT_EQ(QueryWallpaperState(bus), scStopped);
  EXPECT_FALSE(SendWallpaperCommand(bus, kMsgStop));
  EXPECT_FALSE(RequestShowMain(bus));
  EXPECT_FALSE(RequestOpenAlbum(bus, "x"));
  EXPECT_LT(ElapsedMs(start), 400);
}

TEST(GDBusTransport, AHungProgramCostsTheTimeOutAndCountsAsNotDelivered) {
  TGDBusTransport bus;
  auto live = StartPeer({"--serve=live", "--state=1"});
  auto maker = StartPeer({"--serve=maker"});
  live->Signal(SIGSTOP);
  maker->Signal(SIGSTOP);

  TClock::time_point start = TClock::now();
  EXPECT_EQ(QueryWallpaperState(bus), scStopped);
  long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 450);
  EXPECT_LT(elapsed, 1500);

  start = TClock::now();
  EXPECT_FALSE(SendWallpaperCommand(bus, kMsgStart));
  elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 450);
  EXPECT_LT(elapsed, 1500);

  start = TClock::now();
  EXPECT_FALSE(RequestShowMain(bus));
  EXPECT_GE(ElapsedMs(start), 450);

  start = TClock::now();
  EXPECT_FALSE(RequestOpenAlbum(bus, "abc"));
  elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 1950);
  EXPECT_LT(elapsed, 3500);

  // Woken up, it handles what queued up meanwhile and answers again.
  live->Signal(SIGCONT);
  EXPECT_EQ(QueryWallpaperState(bus), scRunning);
}

TEST(GDBusTransport, ANameIsOwnedWithoutQueueing) {
  TGDBusTransport bus;
  auto peer = StartPeer({"--serve=live"});
  {
    TWallpaperIpcServer second(bus, [](TIpcKind) { return 0; });
    EXPECT_FALSE(second.Started());
  }
  // The refused owner did not queue: when the first one goes, the name is free.
  EXPECT_TRUE(SendWallpaperCommand(bus, kMsgQuit));
  EXPECT_EQ(peer->Wait(3000), 0);
  EXPECT_TRUE(WaitUntil([&] { return !FindWallpaperIpc(bus); }, 2000));

  {
    TWallpaperIpcServer first(bus, [](TIpcKind) { return 0; });
    EXPECT_TRUE(first.Started());
    EXPECT_TRUE(FindWallpaperIpc(bus));
    TChildProcess later({TESSARY_IPC_TEST_PEER, "--serve=live"});
    EXPECT_EQ(later.ReadLine(5000), "taken");
    EXPECT_EQ(later.Wait(3000), 3);
  }
  // Giving the server up releases the name at once.
  EXPECT_FALSE(FindWallpaperIpc(bus));
}

TEST(GDBusTransport, SiblingProgramsStartFromTheProgramFolderOnly) {
  const std::string peerDir = std::filesystem::path(TESSARY_IPC_TEST_PEER).parent_path().string();
  const std::string peerFile = std::filesystem::path(TESSARY_IPC_TEST_PEER).filename().string();
  TGDBusTransport bus(nullptr, peerDir);
  EXPECT_FALSE(bus.StartSiblingProgram("no-such-program", {}));
  ASSERT_TRUE(bus.StartSiblingProgram(peerFile, {"--serve=live", "--state=3"}));
  ASSERT_TRUE(WaitUntil([&] { return FindWallpaperIpc(bus); }, 5000));
  EXPECT_EQ(QueryWallpaperState(bus), scStarting);
  EXPECT_TRUE(SendWallpaperCommand(bus, kMsgQuit));
  EXPECT_TRUE(WaitUntil([&] { return !FindWallpaperIpc(bus); }, 3000));
}

}  // namespace
