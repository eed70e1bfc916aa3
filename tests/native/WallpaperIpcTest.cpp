#include "shared/WallpaperIpc.h"

#include <gtest/gtest.h>

#include "tests/native/FakeIpcTransport.h"

namespace {

using TMethods = std::vector<std::string>;
const std::string kLive = "org.tessary.Live";
const std::string kMaker = "org.tessary.Maker";

TEST(WallpaperIpc, EveryLiveMessageReachesItsKindAndAnswersBack) {
  TFakeIpcTransport bus;
  std::vector<TIpcKind> kinds;
  TWallpaperIpcServer server(bus, [&](TIpcKind kind) {
    kinds.push_back(kind);
    return kind == ikStateQuery ? std::int32_t{2} : std::int32_t{0};
  });
  ASSERT_TRUE(server.Started());

  EXPECT_TRUE(FindWallpaperIpc(bus));
  EXPECT_EQ(QueryWallpaperState(bus), scPaused);
  // Delivered means the message arrived, whatever the handler answered.
  EXPECT_TRUE(SendWallpaperCommand(bus, kMsgStop));
  EXPECT_TRUE(SendWallpaperCommand(bus, kMsgQuit));
  EXPECT_TRUE(SendWallpaperCommand(bus, kMsgStart));
  EXPECT_FALSE(SendWallpaperCommand(bus, kMsgShowMain));
  EXPECT_FALSE(SendWallpaperCommand(bus, 0x8050));

  EXPECT_EQ(kinds, (std::vector<TIpcKind>{ikStateQuery, ikStop, ikQuit, ikStart}));
  EXPECT_EQ(bus.Methods(), (TMethods{"State", "Stop", "Quit", "Start"}));
  for (const auto& call : bus.calls) {
    EXPECT_EQ(call.busName, kLive);
    EXPECT_EQ(call.timeoutMs, 500);
    EXPECT_FALSE(call.text.has_value());
  }
}

TEST(WallpaperIpc, StateCodesOutsideTheTableCountAsStopped) {
  struct TCase {
    std::optional<std::int32_t> answer;
    TWallpaperStateCode code;
    const char* name;
  };
  const TCase cases[] = {
      {0, scStopped, "stopped"}, {1, scRunning, "running"},   {2, scPaused, "paused"},
      {3, scStarting, "starting"}, {4, scStopped, "stopped"}, {-1, scStopped, "stopped"},
      {std::nullopt, scStopped, "stopped"},  // hung or gone
  };
  for (const TCase& c : cases) {
    TFakeIpcTransport bus;
    bus.others[kLive];
    if (c.answer) bus.others[kLive]["State"] = *c.answer;
    const TWallpaperStateCode code = QueryWallpaperState(bus);
    EXPECT_EQ(code, c.code) << c.answer.value_or(99);
    EXPECT_STREQ(WallpaperStateName(code), c.name);
  }
}

TEST(WallpaperIpc, WithoutTheOtherProgramNothingIsDelivered) {
  TFakeIpcTransport bus;
  EXPECT_FALSE(FindWallpaperIpc(bus));
  EXPECT_EQ(QueryWallpaperState(bus), scStopped);
  EXPECT_FALSE(SendWallpaperCommand(bus, kMsgStop));
  EXPECT_FALSE(RequestShowMain(bus));
  EXPECT_FALSE(RequestOpenAlbum(bus, "20240101-120000-abcd"));
}

TEST(WallpaperIpc, ASecondLiveServerServesNothing) {
  TFakeIpcTransport bus;
  int firstCalls = 0;
  int secondCalls = 0;
  TWallpaperIpcServer first(bus, [&](TIpcKind) { return ++firstCalls; });
  {
    TWallpaperIpcServer second(bus, [&](TIpcKind) { return ++secondCalls; });
    EXPECT_FALSE(second.Started());
  }
  EXPECT_TRUE(SendWallpaperCommand(bus, kMsgStop));
  EXPECT_EQ(firstCalls, 1);
  EXPECT_EQ(secondCalls, 0);
}

TEST(WallpaperIpc, TheGeneratorShowsItselfAndOpensCreations) {
  TFakeIpcTransport bus;
  int shown = 0;
  std::vector<std::string> opened;
  TMainIpcServer server(bus, [&] { ++shown; }, [&](const std::string& id) { opened.push_back(id); });
  ASSERT_TRUE(server.Started());

  EXPECT_TRUE(RequestShowMain(bus));
  EXPECT_TRUE(RequestOpenAlbum(bus, "アルバム-1"));
  EXPECT_FALSE(RequestOpenAlbum(bus, ""));
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(opened, (std::vector<std::string>{"アルバム-1"}));
  ASSERT_EQ(bus.calls.size(), 2u);
  EXPECT_EQ(bus.calls[0].busName, kMaker);
  EXPECT_EQ(bus.calls[0].method, "ShowMain");
  EXPECT_EQ(bus.calls[0].timeoutMs, 500);
  EXPECT_EQ(bus.calls[1].method, "OpenCreation");
  EXPECT_EQ(bus.calls[1].text, "アルバム-1");
  EXPECT_EQ(bus.calls[1].timeoutMs, 2000);
}

TEST(WallpaperIpc, AGeneratorWithoutHandlersAnswersButDoesNothing) {
  TFakeIpcTransport bus;
  TMainIpcServer server(bus, nullptr, nullptr);
  EXPECT_TRUE(RequestShowMain(bus));
  EXPECT_EQ(bus.Call(MainIpcService(), "ShowMain", std::nullopt, 500), 0);
}

TEST(WallpaperIpc, EnsureStartedLaunchesWaitsAndStarts) {
  struct TCase {
    const char* name;
    bool running;
    bool startSucceeds;
    int appearsAfterSleeps;
    bool expected;
    int expectedSleeps;
    TMethods expectedMethods;
  };
  const TCase cases[] = {
      {"already running: no launch", true, true, -1, true, 0, {"Start"}},
      {"appears on the third look", false, true, 3, true, 3, {"Start"}},
      {"appears on the last look", false, true, 50, true, 50, {"Start"}},
      {"never appears: 5 s, no start", false, true, -1, false, 50, {}},
      {"cannot be started", false, false, -1, false, 0, {}},
  };
  for (const TCase& c : cases) {
    TFakeIpcTransport bus;
    if (c.running) bus.others[kLive]["Start"] = 1;
    bus.startSucceeds = c.startSucceeds;
    bus.appearsAfterSleeps = c.appearsAfterSleeps;
    EXPECT_EQ(EnsureWallpaperStarted(bus), c.expected) << c.name;
    EXPECT_EQ(bus.sleeps, c.expectedSleeps) << c.name;
    EXPECT_EQ(bus.sleptMs, c.expectedSleeps * 100) << c.name;
    EXPECT_EQ(bus.Methods(), c.expectedMethods) << c.name;
    if (!c.running) {
      ASSERT_EQ(bus.started.size(), 1u) << c.name;
      EXPECT_EQ(bus.started[0].first, "TessaryLive");
      EXPECT_TRUE(bus.started[0].second.empty());
    }
  }
}

TEST(WallpaperIpc, BatchActionsWriteFoundSentAndTheStateAfterwards) {
  struct TCase {
    const char* action;
    bool running;
    const char* json;
    TMethods methods;
    bool launched;
  };
  const TCase cases[] = {
      {"STOP", false, R"({"found":false,"sent":false,"state":0})", {"Stop", "State"}, false},
      {"stop", true, R"({"found":true,"sent":true,"state":1})", {"Stop", "State"}, false},
      {"Start", true, R"({"found":true,"sent":true,"state":1})", {"Start", "State"}, false},
      {"quit", true, R"({"found":true,"sent":true,"state":1})", {"Quit", "State"}, false},
      {"launch", false, R"({"found":false,"sent":true,"state":0})", {"State"}, true},
      {"LAUNCH", true, R"({"found":true,"sent":true,"state":1})", {"State"}, true},
      {"hello", true, R"({"found":true,"sent":true,"state":1})", {"State"}, false},
      {"", false, R"({"found":false,"sent":true,"state":0})", {"State"}, false},
  };
  for (const TCase& c : cases) {
    TFakeIpcTransport bus;
    if (c.running) bus.others[kLive] = {{"State", 1}, {"Stop", 0}, {"Start", 1}, {"Quit", 0}};
    const TIpcBatchResult result = RunIpcBatchAction(bus, c.action);
    EXPECT_EQ(WriteJson(IpcBatchResultJson(result)), c.json) << c.action;
    EXPECT_EQ(bus.Methods(), c.methods) << c.action;
    EXPECT_EQ(bus.started.size(), c.launched ? 1u : 0u) << c.action;
  }
}

TEST(WallpaperIpc, ALaunchThatFailsIsNotSent) {
  TFakeIpcTransport bus;
  bus.startSucceeds = false;
  EXPECT_EQ(WriteJson(IpcBatchResultJson(RunIpcBatchAction(bus, "launch"))),
            R"({"found":false,"sent":false,"state":0})");
}

}  // namespace
