// The main loop's services on Linux: GLib timers on the window's thread and
// background work on GLib's worker threads.
#pragma once

#include "platform/MainLoop.h"
#include "platform/linux/BackgroundWork.h"

class TGlibMainLoop final : public IMainLoop {
 public:
  int StartTimer(int intervalMs, std::function<void()> onTick) override;
  void StopTimer(int id) override;
  void RunInBackground(std::function<void()> work, std::function<void()> done) override;

 private:
  TBackgroundWork FBackground;
};
