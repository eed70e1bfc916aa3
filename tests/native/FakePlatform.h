// Fakes of the platform interfaces and small helpers for the native tests.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/HostPlatform.h"
#include "shared/JsonWriter.h"

// A fresh folder under the system's temporary folder, removed afterwards.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::filesystem::path& Path() const { return FPath; }
  // Writes `content` to Path()/relative, creating folders.
  std::filesystem::path Write(const std::string& relative, const std::string& content) const;

 private:
  std::filesystem::path FPath;
};

std::string ReadText(const std::filesystem::path& path);

// One event taken back out of an emit script.
struct TEmitted {
  std::string event;
  TJson payload;  // null when the event had none
};
TEmitted ParseEmitScript(const std::string& script);

// The window, its dialogs and its main loop. Background work runs at once,
// unless `deferBackground` is set: then it waits for RunBackground.
class TFakeWindow : public IHostWindow, public IDialogs, public IMainLoop {
 public:
  void RunScript(const std::string& script) override { scripts.push_back(script); }
  void LockDownBrowser() override { lockedDown = true; }
  void Navigate(const std::string& uri) override { navigations.push_back(uri); }
  void SetTitle(const std::string& title) override { titles.push_back(title); }
  void Close() override { ++closeCount; }
  void BringToFront() override { ++frontCount; }
  std::optional<std::string> PickFolder(const std::string& title) override {
    folderTitles.push_back(title);
    return folderAnswer;
  }
  TSaveDialogResult ShowSaveDialog(const TSaveDialogRequest& request) override {
    dialogs.push_back(request);
    if (!dialogFailure.empty()) throw std::runtime_error(dialogFailure);
    if (saveAnswers.empty()) return {};
    TSaveDialogResult answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
  }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  bool AskYesNo(const std::string& text) override {
    questions.push_back(text);
    return yesAnswer;
  }
  int StartTimer(int intervalMs, std::function<void()> onTick) override {
    timers[++lastTimer] = {intervalMs, std::move(onTick)};
    return lastTimer;
  }
  void StopTimer(int id) override { timers.erase(id); }
  void RunInBackground(std::function<void()> work, std::function<void()> done) override {
    if (deferBackground) return background.push_back({std::move(work), std::move(done)});
    work();
    done();
  }
  // Runs the deferred job at `index` (work, then its completion) and removes it.
  void RunBackground(std::size_t index = 0);

  // Events emitted so far, decoded; clears the script list.
  std::vector<TEmitted> TakeEvents();

  std::vector<std::string> scripts;
  std::vector<std::string> navigations;
  std::vector<std::string> titles;
  std::vector<std::string> folderTitles;
  std::vector<std::string> errors;
  std::vector<std::string> questions;
  bool yesAnswer = true;
  std::vector<TSaveDialogRequest> dialogs;
  std::deque<TSaveDialogResult> saveAnswers;
  std::optional<std::string> folderAnswer;
  std::string dialogFailure;  // not empty: the save dialog fails with this text
  std::map<int, std::pair<int, std::function<void()>>> timers;
  int lastTimer = 0;
  int closeCount = 0;
  int frontCount = 0;
  bool lockedDown = false;
  bool deferBackground = false;
  std::vector<std::pair<std::function<void()>, std::function<void()>>> background;
};

class TFakeSystem : public ISystemServices {
 public:
  explicit TFakeSystem(std::filesystem::path root) : root(std::move(root)) {}
  std::string KnownFolder(TKnownFolder folder) override;
  std::string ProgramDir() override { return (root / "program").string(); }
  bool UiLanguageIsJapanese() override { return japanese; }
  std::vector<std::string> FontFamilies() override { return fonts; }
  TScreenSize PrimaryScreenSize() override { return {2560, 1440}; }
  bool SetStartAtSignIn(bool enable) override {
    signInRequests.push_back(enable);
    if (signInAvailable) startsAtSignIn = enable;
    return signInAvailable;
  }
  std::optional<TWorkRows> PrimaryWorkRows() override { return workRows; }
  std::vector<std::uint8_t> FinishRecordedVideo(const std::string& format,
                                                std::vector<std::uint8_t> bytes) override {
    finishedFormats.push_back(format);
    bytes.insert(bytes.end(), {'+', 'm', 'o', 'o', 'v'});
    return bytes;
  }

  std::filesystem::path root;
  bool japanese = false;
  std::optional<TWorkRows> workRows;
  std::vector<std::string> fonts;
  std::vector<std::string> finishedFormats;
  std::vector<bool> signInRequests;
  bool signInAvailable = true;
  bool startsAtSignIn = false;
};

// Reads pictures written as "IMG <width> <height>", optionally after the
// JPEG start marker kFakeJpegStart (what the wallpaper checks first);
// anything else fails with the message "not a picture".
inline constexpr const char* kFakeJpegStart = "\xFF\xD8\xFF";
class TFakeCodec : public IImageCodec {
 public:
  TImageSize ReadSize(const std::vector<std::uint8_t>& encoded) override;
  TRgbImage Decode(const std::vector<std::uint8_t>& encoded) override;
  std::vector<std::uint8_t> EncodeJpeg(const TRgbImage& image, int quality) override;
  int decodeCount = 0;
};

// Decodes "scaled" by handing back flat pixels of the size asked for (or of
// decodedWidth × decodedHeight), and encodes pixels as SOI, the JFIF
// segment kFakeJfif and "<width>x<height>x<channels>".
inline const std::string kFakeJfif("\xFF\xE0\x00\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 18);
class TFakeScalingCodec : public TFakeCodec {
 public:
  TJpegPixels DecodeJpegScaled(std::span<const std::uint8_t> jpeg, int minWidth, int minHeight) override;
  std::vector<std::uint8_t> EncodeJpegPixels(const TJpegPixels& pixels, int quality) override;
  int channels = 3;
  int decodedWidth = 0;
  int decodedHeight = 0;
  int askedWidth = 0;
  int askedHeight = 0;
  int encodedQuality = 0;
};

std::vector<std::uint8_t> Bytes(const std::string& text);
