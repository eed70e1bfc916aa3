// Long work of a page request (decoding, writing a save and flushing it,
// remuxing a video, writing a PDF page) runs off the window's thread, so the
// window and the page's other requests go on meanwhile; its answer comes back
// on the window's thread when that request's own work ends.
//
// Jobs are grouped in lanes: the jobs of one lane run one after the other in
// the order given (two saves to one file, the pages of one PDF), different
// lanes side by side.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/MainLoop.h"
#include "shared/CommandTable.h"

class TRequestWork {
 public:
  // Runs on the window's thread once the job has ended: emits the answer.
  using TCompletion = std::function<void()>;
  // Runs on a worker thread; touches only what it captured (by value, or
  // objects that outlive the window) and returns its completion.
  using TJob = std::function<TCompletion()>;

  explicit TRequestWork(IMainLoop& loop) : FLoop(loop), FAlive(std::make_shared<bool>(true)) {}
  // Jobs not started yet are dropped; completions of running ones are not run.
  ~TRequestWork() = default;
  TRequestWork(const TRequestWork&) = delete;
  TRequestWork& operator=(const TRequestWork&) = delete;

  // Queues `job` in `lane`. When the job or its completion throws, `fail`
  // gets the exception's text on the window's thread instead.
  void Run(const std::string& lane, TFailureReport fail, TJob job);
  // Jobs of `lane` waiting or running.
  std::size_t Pending(const std::string& lane) const;

 private:
  struct TQueued {
    TFailureReport fail;
    TJob job;
  };
  void StartFront(const std::string& lane);
  void Finish(const std::string& lane, const TFailureReport& fail, const std::string* failure,
              const TCompletion& completion);

  IMainLoop& FLoop;
  // The front job of each lane is the one running.
  std::map<std::string, std::deque<TQueued>> FLanes;
  std::shared_ptr<bool> FAlive;
};
