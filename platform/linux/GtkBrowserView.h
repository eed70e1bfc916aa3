// One WebKitGTK view that shows a program's page from the virtual origins,
// with everything around it that any of the programs' windows needs: its own
// web context and profile folder, the engine's sandbox around the page's
// process (where the system can run it), the four schemes, the page's message
// channel (window.chrome.webview.postMessage), the wall against the network,
// reloading a crashed page, the ordered message queue and WebDriver
// automation. It reports to the program through IBrowserEvents; the window
// that holds it decides where it appears.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/BrowserEvents.h"
#include "platform/linux/BackgroundWork.h"
#include "platform/linux/WebSchemes.h"
#include "shared/CrashReloadRule.h"

struct TBrowserOptions {
  std::string dataDir;          // the profile: cache, local storage, content rules
  std::string applicationName;  // as a driving WebDriver session sees it
  bool automation = false;      // let a WebDriver session drive the view
};

class TGtkBrowserView {
 public:
  TGtkBrowserView(IBrowserEvents& events, const TBrowserOptions& options);
  ~TGtkBrowserView();
  TGtkBrowserView(const TGtkBrowserView&) = delete;
  TGtkBrowserView& operator=(const TGtkBrowserView&) = delete;

  // The view's widget, for the window to place; gone once that window is destroyed.
  GtkWidget* Widget() const { return GTK_WIDGET(FView); }
  // Puts the network rules in force, then reports OnBrowserCreated.
  void Start();
  // The page or a driving session asked to close the view.
  void OnCloseRequested(std::function<void()> handler) { FCloseRequested = std::move(handler); }

  void RunScript(const std::string& script);
  void Navigate(const std::string& uri);
  // Developer tools, console output and the context menu off.
  void LockDown();

 private:
  static void OnViewDestroyed(GtkWidget*, gpointer self);
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType, gpointer self);
  static void OnViewClose(WebKitWebView*, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer);
  static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer self);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer self);
  static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer self);
  static void OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult*, gpointer self);
  static gboolean DispatchNextMessage(gpointer self);
  static void OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self);
  static void OnAutomationStarted(WebKitWebContext*, WebKitAutomationSession*, gpointer self);
  static WebKitWebView* OnAutomationCreateWebView(WebKitAutomationSession*, gpointer self);

  void InstallPageChannel();
  void ApplySettings();
  void ScheduleDispatch();
  void ReportCreated(bool ok, const std::string& failure);

  // A text the page posted (nothing when it was not a string) and the
  // address of the document that posted it.
  struct TPageMessage {
    std::string sourceUri;
    std::optional<std::string> text;
  };

  IBrowserEvents& FEvents;
  TBrowserOptions FOptions;
  WebKitWebContext* FContext = nullptr;
  WebKitUserContentManager* FManager = nullptr;
  WebKitWebView* FView = nullptr;
  TWebRouter FRouter;
  TBackgroundWork FBackground;
  TCrashReloadRule FCrashRule;
  std::function<void()> FCloseRequested;
  bool FLockedDown = false;
  bool FLoadFailed = false;
  std::deque<TPageMessage> FPageMessages;
  guint FDispatchSource = 0;
  bool FDispatching = false;
  // Expires with this object: answers of the browser that come later find nobody.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
