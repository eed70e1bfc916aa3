#include "wallpaper/PowerMonitor.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "FakeTray.h"

namespace {

constexpr TPauseReasons Bits(std::initializer_list<TPauseReason> reasons) {
  TPauseReasons bits = 0;
  for (const TPauseReason r : reasons) bits |= ReasonBit(r);
  return bits;
}

TEST(PowerMonitor, ReasonsTheirReportsAndTheOneTheMenuNames) {
  struct TCase {
    const char* name;
    std::function<void(TPowerMonitor&, TFakeProbe&)> steps;
    TPauseReasons reasons;
    int reports;
    TPauseReason top;
  };
  const TCase cases[] = {
      {"locked on battery: locked is named",
       [](TPowerMonitor& m, TFakeProbe& p) {
         p.battery = true;
         m.Poll();
         m.NotifyLock(true);
       },
       Bits({prLocked, prOnBattery}), 2, prLocked},
      {"the user's pause alone is not automatic", [](TPowerMonitor& m, TFakeProbe&) { m.SetUserPaused(true); },
       Bits({prUserPaused}), 1, prOnBattery},
      {"a second lock reports nothing",
       [](TPowerMonitor& m, TFakeProbe&) {
         m.NotifyLock(true);
         m.NotifyLock(true);
       },
       Bits({prLocked}), 1, prLocked},
      {"full screen comes and goes with the polls",
       [](TPowerMonitor& m, TFakeProbe& p) {
         p.screen.fullscreen = true;
         m.Poll();
         p.screen.fullscreen = false;
         m.Poll();
       },
       0, 2, prOnBattery},
      {"an unreadable screen keeps what it had",
       [](TPowerMonitor& m, TFakeProbe& p) {
         p.screen = {true, true, true};
         m.Poll();
         p.screen = {};
         m.Poll();
       },
       Bits({prFullscreen, prCovered, prDisplayOff}), 3, prDisplayOff},
      {"no answer about the power clears the battery",
       [](TPowerMonitor& m, TFakeProbe& p) {
         p.battery = true;
         m.Poll();
         p.battery = std::nullopt;
         m.PollBattery();
       },
       0, 2, prOnBattery},
      {"battery is no reason with the option off",
       [](TPowerMonitor& m, TFakeProbe& p) {
         p.battery = true;
         m.SetPauseOnBattery(false);
         m.Poll();
       },
       0, 0, prOnBattery},
      {"covered comes right after full screen",
       [](TPowerMonitor& m, TFakeProbe& p) {
         p.screen.covered = true;
         p.battery = true;
         m.Poll();
       },
       Bits({prCovered, prOnBattery}), 2, prCovered},
      {"full screen before covered",
       [](TPowerMonitor& m, TFakeProbe& p) {
         p.screen = {true, true, false};
         m.Poll();
       },
       Bits({prFullscreen, prCovered}), 2, prFullscreen},
      {"asleep before everything",
       [](TPowerMonitor& m, TFakeProbe& p) {
         p.screen = {true, true, true};
         m.Poll();
         m.NotifyLock(true);
         m.NotifySuspend(true);
       },
       Bits({prFullscreen, prCovered, prDisplayOff, prLocked, prSuspending}), 5, prSuspending},
      {"display off before locked",
       [](TPowerMonitor& m, TFakeProbe&) {
         m.NotifyLock(true);
         m.NotifyDisplayOff(true);
       },
       Bits({prLocked, prDisplayOff}), 2, prDisplayOff},
  };
  for (const TCase& c : cases) {
    TFakeProbe probe;
    std::vector<TPauseReasons> reports;
    TPowerMonitor monitor(probe, [&](TPauseReasons r) { reports.push_back(r); });
    c.steps(monitor, probe);
    EXPECT_EQ(monitor.Reasons(), c.reasons) << c.name;
    EXPECT_EQ(static_cast<int>(reports.size()), c.reports) << c.name;
    if (!reports.empty()) EXPECT_EQ(reports.back(), monitor.Reasons()) << c.name;
    EXPECT_EQ(monitor.TopAutoReason(), c.top) << c.name;
    EXPECT_EQ(monitor.HasAutoReason(), (c.reasons & ~ReasonBit(prUserPaused)) != 0) << c.name;
  }
}

TEST(PowerMonitor, WordsAndLabels) {
  const struct {
    TPauseReason reason;
    int number;
    const char* word;
    const char* label;
  } reasons[] = {
      {prFullscreen, 0, "fullscreen", "全画面アプリ"}, {prLocked, 1, "locked", "ロック中"},
      {prSuspending, 2, "suspending", "スリープ"},    {prDisplayOff, 3, "displayOff", "画面オフ"},
      {prOnBattery, 4, "onBattery", "バッテリー"},    {prUserPaused, 5, "userPaused", ""},
      {prCovered, 6, "covered", "ウィンドウの下"},
  };
  for (const auto& r : reasons) {
    EXPECT_EQ(static_cast<int>(r.reason), r.number);
    EXPECT_STREQ(PauseReasonWord(r.reason), r.word);
    EXPECT_EQ(PauseReasonLabel(r.reason, true), r.label);
    if (r.reason != prUserPaused) EXPECT_EQ(PauseReasonLabel(r.reason, false), r.word);
  }
}

}  // namespace
