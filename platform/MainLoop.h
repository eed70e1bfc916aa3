// The services of a program's main loop: timers on the window's thread and
// long work off it.
#pragma once

#include <functional>

class IMainLoop {
 public:
  virtual ~IMainLoop() = default;
  // Repeating timer on the window's thread; returns an id for StopTimer.
  // StopTimer may be called from inside the timer's own callback.
  virtual int StartTimer(int intervalMs, std::function<void()> onTick) = 0;
  virtual void StopTimer(int id) = 0;
  // `work` runs on a worker thread, then `done` on the window's thread.
  // `work` must only touch what it owns or what outlives the loop; an
  // exception escaping it is logged and `done` still runs. Results that come
  // back after the loop has gone are dropped.
  virtual void RunInBackground(std::function<void()> work, std::function<void()> done) = 0;
};
