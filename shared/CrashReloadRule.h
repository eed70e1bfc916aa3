// Decides whether a page whose process crashed is loaded again. A page that
// keeps crashing is given up, but crashes far apart (one in the morning, one
// at night) are each forgiven: only the reloads of a recent span count.
#pragma once

#include <chrono>
#include <deque>
#include <functional>

class TCrashReloadRule {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;

  static constexpr int kMaxReloads = 3;
  static constexpr std::chrono::minutes kSpan{10};

  explicit TCrashReloadRule(TClock clock = std::chrono::steady_clock::now, int maxReloads = kMaxReloads,
                            std::chrono::steady_clock::duration span = kSpan)
      : FClock(std::move(clock)), FMaxReloads(maxReloads), FSpan(span) {}

  // The page crashed now. True: reload it (the reload is counted); false: it
  // was reloaded `maxReloads` times within the last `span` already.
  bool AllowReload();

 private:
  TClock FClock;
  int FMaxReloads;
  std::chrono::steady_clock::duration FSpan;
  std::deque<std::chrono::steady_clock::time_point> FReloads;
};
