#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "shared/RequestWork.h"
#include "tests/native/FakePlatform.h"

namespace {

class RequestWorkTest : public ::testing::Test {
 protected:
  RequestWorkTest() { loop.deferBackground = true; }

  // A job that records `name` when its work runs and again when it completes.
  TRequestWork::TJob Job(const std::string& name) {
    return [this, name]() -> TRequestWork::TCompletion {
      log.push_back("work " + name);
      return [this, name] { log.push_back("done " + name); };
    };
  }
  TFailureReport Fail(const std::string& name) {
    return [this, name](const std::string& text) { log.push_back("fail " + name + ": " + text); };
  }

  TFakeWindow loop;
  std::vector<std::string> log;
};

TEST_F(RequestWorkTest, JobsOfOneLaneRunInOrderOneAfterTheOther) {
  TRequestWork work(loop);
  work.Run("save:/a.png", Fail("1"), Job("1"));
  work.Run("save:/a.png", Fail("2"), Job("2"));
  ASSERT_EQ(loop.background.size(), 1u) << "the second waits for the first";
  EXPECT_EQ(work.Pending("save:/a.png"), 2u);
  loop.RunBackground();
  ASSERT_EQ(loop.background.size(), 1u);
  loop.RunBackground();
  EXPECT_EQ(log, (std::vector<std::string>{"work 1", "done 1", "work 2", "done 2"}));
  EXPECT_EQ(work.Pending("save:/a.png"), 0u);
}

TEST_F(RequestWorkTest, LanesRunSideBySideAndEachAnswersWhenItsOwnWorkEnds) {
  TRequestWork work(loop);
  work.Run("save:/a.png", Fail("a"), Job("a"));
  work.Run("save:/b.png", Fail("b"), Job("b"));
  ASSERT_EQ(loop.background.size(), 2u);
  loop.RunBackground(1);
  loop.RunBackground(0);
  EXPECT_EQ(log, (std::vector<std::string>{"work b", "done b", "work a", "done a"}));
}

TEST_F(RequestWorkTest, FailuresOfTheWorkOrItsCompletionGoToTheirReportAndTheLaneGoesOn) {
  TRequestWork work(loop);
  work.Run("lane", Fail("1"), []() -> TRequestWork::TCompletion { throw std::runtime_error("invalid base64 data"); });
  work.Run("lane", Fail("2"), []() -> TRequestWork::TCompletion {
    return [] { throw std::runtime_error("page gone"); };
  });
  work.Run("lane", Fail("3"), []() -> TRequestWork::TCompletion { throw 7; });
  work.Run("lane", Fail("4"), Job("4"));
  while (!loop.background.empty()) loop.RunBackground();
  EXPECT_EQ(log, (std::vector<std::string>{"fail 1: invalid base64 data", "fail 2: page gone", "fail 3: ",
                                           "work 4", "done 4"}));
}

TEST_F(RequestWorkTest, NothingComesBackAfterTheOwnerIsGone) {
  auto work = std::make_unique<TRequestWork>(loop);
  work->Run("lane", Fail("1"), Job("1"));
  work->Run("lane", Fail("2"), Job("2"));
  work.reset();
  loop.RunBackground();
  EXPECT_EQ(log, (std::vector<std::string>{"work 1"}));
  EXPECT_TRUE(loop.background.empty()) << "queued jobs are dropped with their owner";
}

}  // namespace
