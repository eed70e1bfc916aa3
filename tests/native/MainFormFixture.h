// A TFormMain wired to fakes, started and with its page loaded.
#pragma once

#include <gtest/gtest.h>

#include "generator/MainForm.h"
#include "tests/native/FakeDesktopWallpaper.h"
#include "tests/native/FakeIpcTransport.h"
#include "tests/native/FakePlatform.h"

class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest()
      : system(root.Path()),
        desktopProvider(desktop),
        form(window, window, window, system, codec, desktopProvider, ipc) {}

  void Start(const std::vector<std::string>& args = {}) {
    ASSERT_FALSE(form.FormCreate(args).endNow);
    form.OnBrowserCreated(true, {});
    form.OnNavigationCompleted(true);
    window.scripts.clear();
  }

  void Post(const std::string& text) { form.OnPageMessage("tessary-app://app/index.html", text); }
  void Post(const char* text) { Post(std::string(text)); }
  void PostJson(const TJson& message) { Post(message.dump()); }

  // The only event emitted since the last call.
  TEmitted OnlyEvent() {
    auto events = window.TakeEvents();
    EXPECT_EQ(events.size(), 1u);
    return events.empty() ? TEmitted{} : events.front();
  }

  TTempDir root;
  TFakeWindow window;
  TFakeSystem system;
  TFakeCodec codec;
  TFakeDesktopState desktop;
  TFakeDesktopProvider desktopProvider;
  TFakeIpcTransport ipc;
  TFormMain form;
};
