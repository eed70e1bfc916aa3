#include "platform/linux/SingleInstance.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    FOld = old ? old : "";
    FDir = std::filesystem::temp_directory_path() / ("tessary-lock-" + std::to_string(::getpid()));
    std::filesystem::create_directories(FDir);
    setenv("XDG_RUNTIME_DIR", FDir.c_str(), 1);
  }
  void TearDown() override {
    if (FOld.empty()) unsetenv("XDG_RUNTIME_DIR");
    else setenv("XDG_RUNTIME_DIR", FOld.c_str(), 1);
    std::filesystem::remove_all(FDir);
  }
  std::filesystem::path FDir;
  std::string FOld;
};

}  // namespace

TEST_F(SingleInstanceTest, SecondHolderFindsItTakenUntilTheFirstEnds) {
  EXPECT_EQ(TSingleInstance::LockPath("App.One"), (FDir / "App.One.lock").string());
  auto first = std::make_unique<TSingleInstance>("App.One");
  EXPECT_FALSE(first->AlreadyRunning());
  EXPECT_TRUE(TSingleInstance("App.One").AlreadyRunning());
  EXPECT_FALSE(TSingleInstance("App.Other").AlreadyRunning());
  first.reset();
  EXPECT_FALSE(TSingleInstance("App.One").AlreadyRunning());
}

TEST_F(SingleInstanceTest, WithoutRuntimeFolderTheLockIsPerUserInTmp) {
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(TSingleInstance::LockPath("App"), "/tmp/App-" + std::to_string(::getuid()) + ".lock");
}

TEST_F(SingleInstanceTest, AnUnusableFolderIsAnErrorWithTheSystemText) {
  setenv("XDG_RUNTIME_DIR", (FDir / "missing").c_str(), 1);
  try {
    TSingleInstance lock("App");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
  }
}
