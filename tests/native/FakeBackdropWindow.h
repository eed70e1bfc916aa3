// The live wallpaper's window for the window tests: it records what the
// program asks of it and shows itself in a fake window system, where the
// attachment finds it; browser rests are completed when the test says so.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "FakeDesktopStack.h"
#include "platform/BackdropWindow.h"
#include "shared/JsonWriter.h"

class TFakeBackdropWindow final : public IBackdropWindow {
 public:
  TFakeBackdropWindow(TFakeDesktopStack& stack, TNativeWindow id) : FStack(stack), FId(id) {}

  void RunScript(const std::string& script) override { scripts.push_back(script); }
  void LockDownBrowser() override { lockedDown = true; }
  void Navigate(const std::string& uri) override { navigations.push_back(uri); }
  void SetTitle(const std::string& text) override { title = text; }
  void Close() override {}
  void BringToFront() override {}

  void StartBrowser() override { ++browserStarts; }
  TNativeWindow NativeWindow() override { return FId; }
  void Place(const TScreenRect& area) override {
    placed.push_back(area);
    if (TStackedWindow* window = FStack.Find(FId)) window->geometry = area;
  }
  void Show() override {
    shown = true;
    if (!FStack.Find(FId)) FStack.Add(TFakeDesktopStack::Normal(FId));
    FStack.Find(FId)->mapped = true;
  }
  void Hide() override {
    shown = false;
    if (TStackedWindow* window = FStack.Find(FId)) window->mapped = false;
  }
  void TrySuspendBrowser(std::function<void(bool ok)> done) override {
    resting = true;
    suspendRequests.push_back(std::move(done));
  }
  void ResumeBrowser() override {
    resting = false;
    ++resumes;
  }
  void OnScreenChanged(std::function<void()> onChanged) override { screenChanged = std::move(onChanged); }

  // Completes the oldest pending browser rest.
  void CompleteSuspend(bool ok = true) {
    auto done = std::move(suspendRequests.front());
    suspendRequests.erase(suspendRequests.begin());
    done(ok);
  }

  // The events and commands the page was sent, oldest first; clears them.
  struct TPageEvent {
    std::string event;
    TJson payload;
  };
  std::vector<TPageEvent> TakeEvents() {
    std::vector<TPageEvent> events;
    const std::string head = "window.kobHost && window.kobHost.emit('";
    for (const std::string& script : scripts) {
      const std::size_t nameEnd = script.find("', ", head.size());
      if (script.rfind(head, 0) != 0 || nameEnd == std::string::npos || !script.ends_with(");")) {
        events.push_back({"unexpected script: " + script, nullptr});
        continue;
      }
      events.push_back({script.substr(head.size(), nameEnd - head.size()),
                        TJson::parse(script.substr(nameEnd + 3, script.size() - nameEnd - 5))});
    }
    scripts.clear();
    return events;
  }
  // The commands among them, as their words ("data" for play data).
  std::vector<std::string> TakeCommands() {
    std::vector<std::string> words;
    for (const TPageEvent& e : TakeEvents())
      words.push_back(e.event == "wallpaperCmd" ? e.payload["cmd"].get<std::string>() : "data");
    return words;
  }

  std::vector<std::string> scripts;
  std::vector<std::string> navigations;
  std::vector<TScreenRect> placed;
  std::vector<std::function<void(bool)>> suspendRequests;
  std::function<void()> screenChanged;
  std::string title;
  int browserStarts = 0;
  int resumes = 0;
  bool lockedDown = false;
  bool shown = false;
  bool resting = false;

 private:
  TFakeDesktopStack& FStack;
  TNativeWindow FId;
};
