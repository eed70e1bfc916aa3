#include "platform/linux/BackgroundWork.h"

#include <exception>
#include <string>

#include "shared/Diagnostics.h"

struct TBackgroundWork::TJob {
  TBackgroundWork* owner;
  std::weak_ptr<bool> alive;
  std::function<void()> work;
  std::function<void()> done;
};

TBackgroundWork::TBackgroundWork() : FAlive(std::make_shared<bool>(true)) {}

TBackgroundWork::~TBackgroundWork() {
  FAlive.reset();
  std::unique_lock<std::mutex> lock(FMutex);
  FIdle.wait(lock, [this] { return FRunning == 0; });
}

void TBackgroundWork::Run(std::function<void()> work, std::function<void()> done) {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    ++FRunning;
  }
  auto* job = new TJob{this, FAlive, std::move(work), std::move(done)};
  GTask* task = g_task_new(nullptr, nullptr, FinishJob, job);
  g_task_set_task_data(task, job, nullptr);
  g_task_run_in_thread(task, RunJob);
  g_object_unref(task);
}

void TBackgroundWork::RunJob(GTask* task, gpointer, gpointer data, GCancellable*) {
  auto* job = static_cast<TJob*>(data);
  try {
    job->work();
  } catch (const std::exception& error) {
    LogDiagnostic("background", error.what());
  }
  job->owner->JobEnded();
  g_task_return_boolean(task, TRUE);
}

// Told while the lock is held: the destructor cannot finish before the lock
// is let go, and nothing of the owner is touched after that.
void TBackgroundWork::JobEnded() {
  std::lock_guard<std::mutex> lock(FMutex);
  --FRunning;
  FIdle.notify_all();
}

void TBackgroundWork::FinishJob(GObject*, GAsyncResult*, gpointer data) {
  auto* job = static_cast<TJob*>(data);
  // Runs inside GLib's dispatch: nothing may unwind into it.
  try {
    if (!job->alive.expired()) job->done();
  } catch (const std::exception& error) {
    LogDiagnostic("background", error.what());
  }
  delete job;
}
