#include <gtest/gtest.h>

#include "platform/linux/X11ScreenUse.h"

TEST(AreaCovered, WindowsTogetherMustHideTheWholeMonitor) {
  const TScreenRect monitor{1920, 0, 1920, 1080};  // the second of two
  const struct {
    const char* name;
    std::vector<TScreenRect> windows;
    bool covered;
  } cases[] = {
      {"no windows", {}, false},
      {"one maximised window", {{1920, 0, 1920, 1080}}, true},
      {"larger than the monitor, across both", {{0, -30, 3840, 1200}}, true},
      {"two halves", {{1920, 0, 960, 1080}, {2880, 0, 960, 1080}}, true},
      {"two halves a pixel apart", {{1920, 0, 960, 1080}, {2881, 0, 959, 1080}}, false},
      {"overlapping quarters and a bar", {{1920, 0, 1000, 600}, {2800, 0, 1040, 600}, {1900, 590, 2000, 490}}, true},
      {"a panel's strip left open", {{1920, 30, 1920, 1050}}, false},
      {"a maximised window below a panel", {{1920, 30, 1920, 1050}, {1920, 0, 1920, 30}}, true},
      {"on the other monitor only", {{0, 0, 1920, 1080}}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(AreaCovered(monitor, c.windows), c.covered) << c.name;
  EXPECT_FALSE(AreaCovered({0, 0, 0, 0}, {{0, 0, 10, 10}}));
}
