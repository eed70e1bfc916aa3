#include "shared/RequestWork.h"

#include <exception>
#include <optional>
#include <utility>

#include "shared/Diagnostics.h"

namespace {

void Report(const TFailureReport& fail, const std::string& text) {
  try {
    if (fail) fail(text);
  } catch (const std::exception& error) {
    LogDiagnostic("work", std::string("a failure could not be answered: ") + error.what());
  } catch (...) {
    LogDiagnostic("work", "a failure could not be answered");
  }
}

}  // namespace

void TRequestWork::Run(const std::string& lane, TFailureReport fail, TJob job) {
  std::deque<TQueued>& queue = FLanes[lane];
  queue.push_back({std::move(fail), std::move(job)});
  if (queue.size() == 1) StartFront(lane);
}

std::size_t TRequestWork::Pending(const std::string& lane) const {
  const auto found = FLanes.find(lane);
  return found == FLanes.end() ? 0 : found->second.size();
}

void TRequestWork::StartFront(const std::string& lane) {
  TQueued& front = FLanes.at(lane).front();
  auto completion = std::make_shared<TCompletion>();
  auto failure = std::make_shared<std::optional<std::string>>();
  FLoop.RunInBackground(
      [job = std::move(front.job), completion, failure] {
        try {
          *completion = job();
        } catch (const std::exception& error) {
          *failure = error.what();
        } catch (...) {
          *failure = std::string();
        }
      },
      [this, alive = std::weak_ptr<bool>(FAlive), lane, fail = front.fail, completion, failure] {
        if (alive.expired()) return;
        Finish(lane, fail, *failure ? &**failure : nullptr, *completion);
      });
}

void TRequestWork::Finish(const std::string& lane, const TFailureReport& fail, const std::string* failure,
                          const TCompletion& completion) {
  const std::weak_ptr<bool> alive = FAlive;
  if (failure) {
    Report(fail, *failure);
  } else if (completion) {
    try {
      completion();
    } catch (const std::exception& error) {
      Report(fail, error.what());
    } catch (...) {
      Report(fail, {});
    }
  }
  // An answer may end the window, and this object with it.
  if (alive.expired()) return;
  std::deque<TQueued>& queue = FLanes.at(lane);
  queue.pop_front();
  if (queue.empty()) {
    FLanes.erase(lane);
  } else {
    StartFront(lane);
  }
}
