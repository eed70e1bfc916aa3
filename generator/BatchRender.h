// The batch render: the generator's page, in a window that never reaches the
// screen, makes one pile from the command line's settings and saves it
// through its own save flow to the chosen file; the program then ends with
// an exit code (see TBatchExit). What can be checked without the page is
// checked before anything of the desktop starts.
//
// The exchange with the page: once the page has loaded, the host emits
// `batchRender` (the request of BatchRequestJson, the folder's listing as
// `folder` {baseUrl, photos, memos}, the screen's size as `screen` {w, h},
// the own background picture's address as `backgroundUrl`). The page mirrors
// its busy texts as `batchProgress` {text} and ends with `batchDone` {code,
// message, width, height}.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

#include "generator/BatchOptions.h"
#include "generator/Materials.h"
#include "platform/Dialogs.h"
#include "shared/CommandTable.h"
#include "shared/UnitContext.h"
#include "shared/WebResponse.h"

// How a run that cannot start ends, or beDone when it can.
struct TBatchCheck {
  TBatchExit exit = TBatchExit::beDone;
  std::string reason;
};

// The checks that need no page: the folder and its photos, the favourites'
// names, the own background picture, an installed title font and a place
// where the output can be written (a file is made there and removed again).
TBatchCheck CheckBatchInputs(const TBatchRequest& request, ISystemServices& system);

// Progress and the outcome on the error stream: one line rewritten in place
// on a terminal, plain lines otherwise (a line when the step changes, or
// every few seconds while it goes on). `quiet` keeps all but errors back.
class TBatchConsole {
 public:
  TBatchConsole(std::ostream& out, bool terminal, bool quiet);
  void Progress(const std::string& text);
  void Done(const std::string& text);
  void Error(const std::string& text);

 private:
  void EndLine();

  std::ostream& FOut;
  bool FTerminal;
  bool FQuiet;
  bool FLineOpen = false;
  std::string FLastStep;
  std::chrono::steady_clock::time_point FLastLine;
};

// Dialogs nobody can answer: a batch render never asks, and what would have
// been shown as an error ends the run with its text.
class TBatchDialogs final : public IDialogs {
 public:
  explicit TBatchDialogs(std::function<void(const std::string& text)> onError) : FOnError(std::move(onError)) {}
  std::optional<std::string> PickFolder(const std::string&) override { return std::nullopt; }
  TSaveDialogResult ShowSaveDialog(const TSaveDialogRequest&) override { return {}; }
  void ShowError(const std::string& text) override { FOnError(text); }
  bool AskYesNo(const std::string&) override { return false; }

 private:
  std::function<void(const std::string& text)> FOnError;
};

class TBatchRender {
 public:
  // `close` ends the window (and so the program) once the run has ended.
  TBatchRender(const TUnitContext& context, TMaterials& materials, TBatchRequest request, TBatchConsole& console,
               std::function<void()> close);
  ~TBatchRender();
  TBatchRender(const TBatchRender&) = delete;
  TBatchRender& operator=(const TBatchRender&) = delete;

  // batchProgress, batchDone.
  void Register(TCommandTable& table);
  // The page has loaded: the photo folder is served and the request sent.
  void PageLoaded();
  // The own background picture, for the page to decode.
  TWebResponse Route(const std::string& uri);
  // Ends the run (once); the window closes after.
  void Fail(TBatchExit exit, const std::string& reason);

  // A browser profile of its own, made on first use and removed at the end,
  // so that the run neither shares the open window's nor keeps anything.
  const std::string& ProfileDir();
  const std::string& OutputPath() const { return FRequest.outputPath; }
  int ExitCode() const { return static_cast<int>(FExit); }
  bool Ended() const { return FEnded; }

 private:
  void Progress(const TCommand& command);
  void Done(const TCommand& command);
  void End(TBatchExit exit, const std::string& reason);
  void Watch();

  const TUnitContext& FContext;
  TMaterials& FMaterials;
  TBatchRequest FRequest;
  TBatchConsole& FConsole;
  std::function<void()> FClose;
  std::string FProfileDir;
  std::chrono::steady_clock::time_point FStarted = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point FLastHeard = FStarted;
  int FWatchTimer = -1;
  bool FEnded = false;
  TBatchExit FExit = TBatchExit::beFailed;
};
