#include <gtest/gtest.h>

#include <chrono>

#include "shared/CrashReloadRule.h"

namespace {

using namespace std::chrono_literals;

// Crashes at the given minutes of a run; what the rule answers to each.
std::vector<bool> Answers(const std::vector<double>& minutes) {
  std::chrono::steady_clock::time_point now{};
  TCrashReloadRule rule([&now] { return now; });
  std::vector<bool> answers;
  for (const double minute : minutes) {
    now = std::chrono::steady_clock::time_point{} +
          std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double, std::ratio<60>>(minute));
    answers.push_back(rule.AllowReload());
  }
  return answers;
}

TEST(CrashReloadRule, GivesUpOnAPageThatKeepsCrashingButForgivesCrashesFarApart) {
  struct TCase {
    const char* what;
    std::vector<double> minutes;
    std::vector<bool> answers;
  };
  const TCase cases[] = {
      {"three quick crashes are reloaded, the fourth is not", {0, 0.1, 0.2, 0.3}, {true, true, true, false}},
      {"and the page stays given up while the crashes go on", {0, 1, 2, 3, 4}, {true, true, true, false, false}},
      {"crashes over a long day are each reloaded", {0, 60, 300, 600, 900, 1200}, {true, true, true, true, true, true}},
      {"a reload older than ten minutes no longer counts", {0, 1, 2, 10, 11, 12}, {true, true, true, true, true, true}},
      {"just inside ten minutes it still counts", {0, 1, 2, 9.9}, {true, true, true, false}},
      {"refusals are not counted as reloads", {0, 1, 2, 3, 10.5}, {true, true, true, false, true}},
  };
  for (const TCase& c : cases) EXPECT_EQ(Answers(c.minutes), c.answers) << c.what;
}

}  // namespace
