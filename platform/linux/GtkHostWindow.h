// The generator's main window on Linux: a GTK window holding one WebKitGTK
// view that shows the page from the virtual origins. It carries out what the
// portable core asks (IHostWindow) and hands it the browser's events.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <deque>
#include <optional>
#include <string>

#include "platform/HostPlatform.h"
#include "platform/linux/WebSchemes.h"

class TFormMain;

// A text the page posted (nothing when it was not a string) and the address
// of the document that posted it.
struct TPageMessage {
  std::string sourceUri;
  std::optional<std::string> text;
};

struct TBrowserOptions {
  std::string dataDir;       // cache, local storage
  bool automation = false;   // let a WebDriver session drive the page view
};

class TGtkHostWindow final : public IHostWindow {
 public:
  TGtkHostWindow();
  ~TGtkHostWindow() override;
  TGtkHostWindow(const TGtkHostWindow&) = delete;
  TGtkHostWindow& operator=(const TGtkHostWindow&) = delete;

  // The core receives the browser's events from now on.
  void AttachCore(TFormMain& core) { FCore = &core; }
  // Creates the browser view in the window and reports it to the core.
  void CreateBrowser(const TBrowserOptions& options);
  void Show();
  GtkWindow* Window() const { return FWindow; }

  void RunScript(const std::string& script) override;
  void LockDownBrowser() override;
  void Navigate(const std::string& uri) override;
  void SetTitle(const std::string& utf8Title) override;
  void Close() override;
  void BringToFront() override;
  void ShowOffscreenAsWorker() override;
  std::optional<std::string> PickFolder(const std::string& title) override;
  TSaveDialogResult ShowSaveDialog(const TSaveDialogRequest& request) override;
  void ShowError(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  int StartTimer(int intervalMs, std::function<void()> onTick) override;
  void StopTimer(int id) override;
  void RunInBackground(std::function<void()> work, std::function<void()> done) override;

 private:
  static gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
  static void OnDestroy(GtkWidget*, gpointer self);
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType, gpointer self);
  static void OnViewClose(WebKitWebView*, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer);
  static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer self);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer self);
  static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer self);
  static void OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult*, gpointer self);
  static gboolean DispatchPageMessages(gpointer self);
  static void OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self);
  static void OnAutomationStarted(WebKitWebContext*, WebKitAutomationSession*, gpointer self);
  static WebKitWebView* OnAutomationCreateWebView(WebKitAutomationSession*, gpointer self);

  void InstallPageChannel(WebKitUserContentManager* manager);
  void ApplySettings();

  TFormMain* FCore = nullptr;
  GtkWindow* FWindow = nullptr;
  WebKitWebContext* FContext = nullptr;
  WebKitWebView* FView = nullptr;
  TWebRouter FRouter;
  TBackgroundWork FBackground;
  bool FLockedDown = false;
  bool FLoadFailed = false;
  int FCrashReloads = 0;
  std::deque<TPageMessage> FPageMessages;
  bool FDispatching = false;
};
