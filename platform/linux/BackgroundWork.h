// Work that would stall the window (decoding a large picture, writing a
// save) runs on GLib's worker threads; its result is handed back on the
// window's thread.
#pragma once

#include <gio/gio.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class TBackgroundWork {
 public:
  TBackgroundWork();
  // Waits for work still running, since it may use objects that end with the
  // program; results not yet handed back are dropped.
  ~TBackgroundWork();
  TBackgroundWork(const TBackgroundWork&) = delete;
  TBackgroundWork& operator=(const TBackgroundWork&) = delete;

  // `work` runs on a worker thread, then `done` on the main loop's thread.
  // An exception escaping `work` is logged and `done` still runs; one
  // escaping `done` is logged.
  void Run(std::function<void()> work, std::function<void()> done);

 private:
  struct TJob;
  static void RunJob(GTask* task, gpointer source, gpointer data, GCancellable* cancellable);
  static void FinishJob(GObject* source, GAsyncResult* result, gpointer data);
  void JobEnded();

  std::mutex FMutex;
  std::condition_variable FIdle;
  int FRunning = 0;
  // Expires with this object, so late results are not handed to a window
  // that is gone.
  std::shared_ptr<bool> FAlive;
};
