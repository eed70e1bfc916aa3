// A program's window on Linux: a thin owner of one TGtkBrowserView, shown as
// the window kind asks. The generator's main window is a normal window (or,
// as the wallpaper worker, a hidden one); the live wallpaper's window is a
// desktop backdrop holding the same view, driven through IBackdropWindow.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/BackdropWindow.h"
#include "platform/BrowserEvents.h"
#include "platform/linux/GtkBrowserView.h"

struct TWindowOptions {
  TWindowKind kind = TWindowKind::wkNormal;
  int minWidth = 0;       // normal windows: the smallest size the user may make it
  int minHeight = 0;
  int width = 800;        // normal and hidden windows: the size at start
  int height = 600;
  bool endsProgram = false;  // destroying the window ends the main loop
};

class TGtkBrowserWindow final : public IBackdropWindow {
 public:
  TGtkBrowserWindow() = default;
  ~TGtkBrowserWindow() override;
  TGtkBrowserWindow(const TGtkBrowserWindow&) = delete;
  TGtkBrowserWindow& operator=(const TGtkBrowserWindow&) = delete;

  // Makes the window of the asked kind with its browser view, shows it
  // (a hidden worker's never reaches the screen) and starts the browser,
  // which then reports to `events`. A desktop backdrop stays hidden and
  // starts its browser at StartBrowser.
  void Open(IBrowserEvents& events, const TWindowOptions& window, const TBrowserOptions& browser);
  // Parent of the window's dialogs; nullptr while there is none on screen.
  GtkWindow* DialogParent() const;

  // A desktop backdrop comes and goes with the wallpaper; the others show at Open.
  void StartBrowser() override;
  TNativeWindow NativeWindow() override;
  void Place(const TScreenRect& area) override;
  void Show() override;
  void Hide() override;
  void TrySuspendBrowser(std::function<void(bool ok)> done) override;
  void ResumeBrowser() override;
  void OnScreenChanged(std::function<void()> onChanged) override;

  void RunScript(const std::string& script) override;
  void LockDownBrowser() override;
  void Navigate(const std::string& uri) override;
  void SetTitle(const std::string& utf8Title) override;
  void Close() override;
  void BringToFront() override;

 private:
  static gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
  static void OnDestroy(GtkWidget*, gpointer self);
  static void OnScreenSignal(GdkScreen*, gpointer self);
  GtkWindow* MakeWindow();
  bool CloseQuery();

  IBrowserEvents* FEvents = nullptr;
  TWindowOptions FOptions;
  GtkWindow* FWindow = nullptr;
  std::unique_ptr<TGtkBrowserView> FView;
  std::string FTitle;
  guint FCloseSource = 0;
  bool FBrowserStarted = false;
  std::function<void()> FScreenChanged;
  GdkScreen* FScreen = nullptr;  // whose signals we listen to
  // Expires with this object: suspend completions that come later find nobody.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
