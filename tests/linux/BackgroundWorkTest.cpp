#include "platform/linux/BackgroundWork.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

// Turns the main loop until `done` or a few seconds have passed.
void SpinUntil(const std::atomic<bool>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done && std::chrono::steady_clock::now() < deadline) g_main_context_iteration(nullptr, FALSE);
}

TEST(BackgroundWork, WorkRunsOffTheMainThreadAndItsResultComesBackOnIt) {
  TBackgroundWork background;
  const std::thread::id main = std::this_thread::get_id();
  std::thread::id workThread, doneThread;
  std::atomic<bool> finished{false};
  int result = 0;
  background.Run([&] { workThread = std::this_thread::get_id(); result = 42; },
                 [&] { doneThread = std::this_thread::get_id(); finished = true; });
  SpinUntil(finished);
  ASSERT_TRUE(finished);
  EXPECT_NE(workThread, main);
  EXPECT_EQ(doneThread, main);
  EXPECT_EQ(result, 42);
}

TEST(BackgroundWork, AThrowingWorkStillReportsBack) {
  TBackgroundWork background;
  std::atomic<bool> finished{false};
  background.Run([] { throw std::runtime_error("decoder failed"); }, [&] { finished = true; });
  SpinUntil(finished);
  EXPECT_TRUE(finished);
}

// Work may use objects that end with the program: ending waits for it, and a
// result that arrives afterwards is not handed to what is gone.
TEST(BackgroundWork, EndingWaitsForRunningWorkAndDropsItsResult) {
  std::atomic<bool> started{false}, workEnded{false}, doneRan{false};
  {
    TBackgroundWork background;
    background.Run(
        [&] {
          started = true;
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
          workEnded = true;
        },
        [&] { doneRan = true; });
    while (!started) std::this_thread::yield();
  }
  EXPECT_TRUE(workEnded);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  while (std::chrono::steady_clock::now() < until) g_main_context_iteration(nullptr, FALSE);
  EXPECT_FALSE(doneRan);
}

}  // namespace
