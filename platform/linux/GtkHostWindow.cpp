#include "platform/linux/GtkHostWindow.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include "generator/MainForm.h"
#include "platform/linux/FileDialogs.h"
#include "shared/Diagnostics.h"
#include "shared/Origins.h"

namespace {

constexpr const char* kMessageHandler = "tessaryHost";

// The page posts text through window.chrome.webview.postMessage, as it would
// in any host; here that ends in WebKit's script message handler.
constexpr const char* kPageChannelScript = R"JS((function () {
  if (window.chrome && window.chrome.webview) return;
  var channel = window.webkit.messageHandlers.tessaryHost;
  window.chrome = window.chrome || {};
  window.chrome.webview = {
    postMessage: function (message) { channel.postMessage(message); },
    addEventListener: function () {},
    removeEventListener: function () {}
  };
})();)JS";

// Nothing the page does may reach a network: every load with a network
// scheme is refused before it leaves the browser.
constexpr const char* kNetworkBlockRules = R"JSON([
  {"trigger": {"url-filter": "^https?:"}, "action": {"type": "block"}},
  {"trigger": {"url-filter": "^wss?:"}, "action": {"type": "block"}},
  {"trigger": {"url-filter": "^ftp:"}, "action": {"type": "block"}}
])JSON";
constexpr const char* kNetworkBlockId = "tessary-no-network";
// Second wall behind the rules: a proxy nobody listens on.
constexpr const char* kDeadProxy = "http://127.0.0.1:9";
constexpr int kMaxCrashReloads = 3;

bool HasGpuRenderNode() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", error))
    if (entry.path().filename().string().rfind("renderD", 0) == 0) return true;
  return false;
}

struct TCreateState {
  TGtkHostWindow* window;
  WebKitUserContentManager* manager;
};

}  // namespace

TGtkHostWindow::TGtkHostWindow() {
  FWindow = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  gtk_widget_set_size_request(GTK_WIDGET(FWindow), kMainMinWidth, kMainMinHeight);
  gtk_window_set_default_size(FWindow, kMainClientWidth, kMainClientHeight);
  gtk_window_set_position(FWindow, GTK_WIN_POS_CENTER);
  gtk_window_set_title(FWindow, kApplicationTitle);
  g_signal_connect(FWindow, "delete-event", G_CALLBACK(OnDeleteEvent), this);
  g_signal_connect(FWindow, "destroy", G_CALLBACK(OnDestroy), this);
  FRouter = [this](const std::string& uri) {
    if (!FCore) return TWebResponse{};
    TWebResponse answer = FCore->HandleWebResourceRequested(uri);
    return answer.answered ? answer : FCore->AnswerFromWebFolder(uri);
  };
}

TGtkHostWindow::~TGtkHostWindow() {
  FCore = nullptr;  // the core may already be gone; it gets no more events
  if (FWindow) gtk_widget_destroy(GTK_WIDGET(FWindow));
  if (FContext) g_object_unref(FContext);
}

void TGtkHostWindow::CreateBrowser(const TBrowserOptions& options) {
  WebKitWebsiteDataManager* data = webkit_website_data_manager_new(
      "base-data-directory", options.dataDir.c_str(), "base-cache-directory", (options.dataDir + "/cache").c_str(),
      nullptr);
  WebKitNetworkProxySettings* proxy = webkit_network_proxy_settings_new(kDeadProxy, nullptr);
  webkit_website_data_manager_set_network_proxy_settings(data, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, proxy);
  webkit_network_proxy_settings_free(proxy);
  FContext = webkit_web_context_new_with_website_data_manager(data);
  g_object_unref(data);
  RegisterWebSchemes(FContext, &FRouter, &FBackground);
  if (options.automation) {
    webkit_web_context_set_automation_allowed(FContext, TRUE);
    g_signal_connect(FContext, "automation-started", G_CALLBACK(OnAutomationStarted), this);
  }

  WebKitUserContentManager* manager = webkit_user_content_manager_new();
  InstallPageChannel(manager);
  FView = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", FContext, "user-content-manager", manager,
                                       "is-controlled-by-automation", options.automation ? TRUE : FALSE, nullptr));
  ApplySettings();
  g_signal_connect(FView, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(FView, "create", G_CALLBACK(OnCreate), this);
  g_signal_connect(FView, "close", G_CALLBACK(OnViewClose), this);
  g_signal_connect(FView, "context-menu", G_CALLBACK(OnContextMenu), this);
  g_signal_connect(FView, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(FView, "load-failed", G_CALLBACK(OnLoadFailed), this);
  g_signal_connect(FView, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), this);
  gtk_container_add(GTK_CONTAINER(FWindow), GTK_WIDGET(FView));
  gtk_widget_show(GTK_WIDGET(FView));

  // The page is loaded only once the network rules are in force.
  WebKitUserContentFilterStore* store =
      webkit_user_content_filter_store_new((options.dataDir + "/content-filters").c_str());
  GBytes* rules = g_bytes_new_static(kNetworkBlockRules, std::char_traits<char>::length(kNetworkBlockRules));
  auto* state = new TCreateState{this, manager};
  webkit_user_content_filter_store_save(
      store, kNetworkBlockId, rules, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<TCreateState> state(static_cast<TCreateState*>(data));
        GError* error = nullptr;
        WebKitUserContentFilter* filter =
            webkit_user_content_filter_store_save_finish(WEBKIT_USER_CONTENT_FILTER_STORE(source), result, &error);
        if (filter) {
          webkit_user_content_manager_add_filter(state->manager, filter);
          webkit_user_content_filter_unref(filter);
        } else {
          LogDiagnostic("browser", std::string("network rules not in force: ") + (error ? error->message : "?"));
          g_clear_error(&error);
        }
        g_object_unref(state->manager);
        if (state->window->FCore) state->window->FCore->OnBrowserCreated(true, 0);
      },
      state);
  g_bytes_unref(rules);
  g_object_unref(store);
}

void TGtkHostWindow::InstallPageChannel(WebKitUserContentManager* manager) {
  const std::string pageOrigin(origins::kPage);
  const std::string pattern = pageOrigin + "/*";
  const gchar* allow[] = {pattern.c_str(), nullptr};
  WebKitUserScript* script =
      webkit_user_script_new(kPageChannelScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow, nullptr);
  webkit_user_content_manager_add_script(manager, script);
  webkit_user_script_unref(script);
  g_signal_connect(manager, (std::string("script-message-received::") + kMessageHandler).c_str(),
                   G_CALLBACK(OnScriptMessage), this);
  webkit_user_content_manager_register_script_message_handler(manager, kMessageHandler);
}

void TGtkHostWindow::ApplySettings() {
  WebKitSettings* settings = webkit_web_view_get_settings(FView);
  // Canvas colour filters work only with this feature (and only on canvases
  // in the document; the page bakes filters for the others itself).
  WebKitFeatureList* features = webkit_settings_get_all_features();
  for (gsize i = 0; i < webkit_feature_list_get_length(features); ++i) {
    WebKitFeature* feature = webkit_feature_list_get(features, i);
    if (g_strcmp0(webkit_feature_get_identifier(feature), "CanvasFilters") == 0)
      webkit_settings_set_feature_enabled(settings, feature, TRUE);
  }
  webkit_feature_list_unref(features);
  webkit_settings_set_enable_media_stream(settings, TRUE);
  webkit_settings_set_enable_mediasource(settings, TRUE);
  webkit_settings_set_enable_developer_extras(settings, TRUE);
  webkit_settings_set_enable_write_console_messages_to_stdout(settings, TRUE);
  webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
  // Without a GPU, accelerated compositing runs on a software GL renderer
  // and costs the page most of its drawing speed (and its recordings frames).
  if (!HasGpuRenderNode())
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
}

void TGtkHostWindow::Show() { gtk_widget_show(GTK_WIDGET(FWindow)); }

void TGtkHostWindow::RunScript(const std::string& script) {
  if (!FView) return;
  webkit_web_view_evaluate_javascript(FView, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                      nullptr, nullptr, nullptr);
}

void TGtkHostWindow::LockDownBrowser() {
  FLockedDown = true;
  if (!FView) return;
  WebKitSettings* settings = webkit_web_view_get_settings(FView);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_enable_write_console_messages_to_stdout(settings, FALSE);
}

void TGtkHostWindow::Navigate(const std::string& uri) {
  if (FView) webkit_web_view_load_uri(FView, uri.c_str());
}

void TGtkHostWindow::SetTitle(const std::string& utf8Title) { gtk_window_set_title(FWindow, utf8Title.c_str()); }

void TGtkHostWindow::Close() {
  // Deferred: the core asks from inside a browser event that must finish first.
  g_idle_add(
      [](gpointer self) -> gboolean {
        auto* window = static_cast<TGtkHostWindow*>(self);
        if (window->FWindow) gtk_window_close(window->FWindow);
        return G_SOURCE_REMOVE;
      },
      this);
}

void TGtkHostWindow::BringToFront() {
  gtk_widget_show(GTK_WIDGET(FWindow));
  gtk_window_deiconify(FWindow);
  gtk_window_present(FWindow);
}

void TGtkHostWindow::ShowOffscreenAsWorker() {
  gtk_window_set_skip_taskbar_hint(FWindow, TRUE);
  gtk_window_set_skip_pager_hint(FWindow, TRUE);
  gtk_window_set_position(FWindow, GTK_WIN_POS_NONE);
  gtk_window_move(FWindow, -32000, -32000);
  gtk_widget_show(GTK_WIDGET(FWindow));
}

std::optional<std::string> TGtkHostWindow::PickFolder(const std::string& title) {
  return RunFolderDialog(FWindow, title);
}

TSaveDialogResult TGtkHostWindow::ShowSaveDialog(const TSaveDialogRequest& request) {
  return RunSaveDialog(FWindow, request);
}

void TGtkHostWindow::ShowError(const std::string& text) {
  GtkWidget* dialog = gtk_message_dialog_new(FWindow, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s",
                                             text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), kApplicationTitle);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

bool TGtkHostWindow::AskYesNo(const std::string& text) {
  GtkWidget* dialog = gtk_message_dialog_new(FWindow, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, "%s",
                                             text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), kApplicationTitle);
  const bool yes = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_YES;
  gtk_widget_destroy(dialog);
  return yes;
}

int TGtkHostWindow::StartTimer(int intervalMs, std::function<void()> onTick) {
  auto* tick = new std::function<void()>(std::move(onTick));
  return static_cast<int>(g_timeout_add_full(
      G_PRIORITY_DEFAULT, static_cast<guint>(intervalMs),
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_CONTINUE;
      },
      tick, [](gpointer data) { delete static_cast<std::function<void()>*>(data); }));
}

void TGtkHostWindow::RunInBackground(std::function<void()> work, std::function<void()> done) {
  FBackground.Run(std::move(work), std::move(done));
}

void TGtkHostWindow::StopTimer(int id) {
  if (id > 0) g_source_remove(static_cast<guint>(id));
}

gboolean TGtkHostWindow::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
  auto* window = static_cast<TGtkHostWindow*>(self);
  if (!window->FCore || window->FCore->CloseQuery()) return FALSE;
  return TRUE;  // the page was asked and decides
}

void TGtkHostWindow::OnDestroy(GtkWidget*, gpointer self) {
  auto* window = static_cast<TGtkHostWindow*>(self);
  window->FWindow = nullptr;
  window->FView = nullptr;
  if (window->FCore) window->FCore->OnDestroy();
  if (gtk_main_level() > 0) gtk_main_quit();
}

gboolean TGtkHostWindow::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                        WebKitPolicyDecisionType type, gpointer self) {
  auto* window = static_cast<TGtkHostWindow*>(self);
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  if (window->FCore && uri && window->FCore->AllowNavigation(uri)) return FALSE;
  // Frames start as empty documents of their own; those load nothing.
  if (uri && (g_str_equal(uri, "about:blank") || g_str_equal(uri, "about:srcdoc"))) return FALSE;
  LogDiagnostic("browser", std::string("navigation cancelled: ") + (uri ? uri : ""));
  webkit_policy_decision_ignore(decision);
  return TRUE;
}

// The page or a driving session asked to close the view: that is a request
// to close the window, negotiated like any other.
void TGtkHostWindow::OnViewClose(WebKitWebView*, gpointer self) {
  auto* window = static_cast<TGtkHostWindow*>(self);
  if (window->FWindow) gtk_window_close(window->FWindow);
}

GtkWidget* TGtkHostWindow::OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) { return nullptr; }

gboolean TGtkHostWindow::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                       gpointer self) {
  return static_cast<TGtkHostWindow*>(self)->FLockedDown ? TRUE : FALSE;
}

void TGtkHostWindow::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  auto* window = static_cast<TGtkHostWindow*>(self);
  if (event == WEBKIT_LOAD_STARTED) window->FLoadFailed = false;
  if (event == WEBKIT_LOAD_FINISHED && window->FCore) window->FCore->OnNavigationCompleted(!window->FLoadFailed);
}

gboolean TGtkHostWindow::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer self) {
  static_cast<TGtkHostWindow*>(self)->FLoadFailed = true;
  LogDiagnostic("browser", std::string("page load failed: ") + (uri ? uri : "") + ": " + (error ? error->message : ""));
  return FALSE;
}

void TGtkHostWindow::OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
  auto* window = static_cast<TGtkHostWindow*>(self);
  if (!window->FCore || !window->FView) return;
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  const char* sourceUri = webkit_web_view_get_uri(window->FView);
  TPageMessage message{sourceUri ? sourceUri : "", std::nullopt};
  if (jsc_value_is_string(value)) {
    gchar* text = jsc_value_to_string(value);
    message.text = text ? text : "";
    g_free(text);
  }
  window->FPageMessages.push_back(std::move(message));
  // Handled from the main loop: commands may open modal dialogs, which must
  // not run inside the browser's message dispatch.
  if (window->FPageMessages.size() == 1)
    g_idle_add_full(G_PRIORITY_DEFAULT, DispatchPageMessages, window, nullptr);
}

// Strictly one command after the other, in arrival order: messages that come
// while a command shows a modal dialog wait until it has finished.
gboolean TGtkHostWindow::DispatchPageMessages(gpointer self) {
  auto* window = static_cast<TGtkHostWindow*>(self);
  if (window->FDispatching) return G_SOURCE_REMOVE;
  window->FDispatching = true;
  while (!window->FPageMessages.empty() && window->FCore) {
    TPageMessage message = std::move(window->FPageMessages.front());
    window->FPageMessages.pop_front();
    window->FCore->HandleWebMessage(message.sourceUri, message.text);
  }
  window->FPageMessages.clear();
  window->FDispatching = false;
  return G_SOURCE_REMOVE;
}

void TGtkHostWindow::OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                                            gpointer self) {
  auto* window = static_cast<TGtkHostWindow*>(self);
  const char* what = reason == WEBKIT_WEB_PROCESS_CRASHED ? "page process crashed" : "page process ended";
  // A page that keeps failing is not reloaded for ever.
  if (window->FCrashReloads >= kMaxCrashReloads) {
    LogDiagnostic("browser", what);
    if (window->FCore) window->FCore->OnPageGone();
    return;
  }
  ++window->FCrashReloads;
  LogDiagnostic("browser", std::string(what) + ", reloading");
  webkit_web_view_reload(view);
}

void TGtkHostWindow::OnAutomationStarted(WebKitWebContext*, WebKitAutomationSession* session, gpointer self) {
  WebKitApplicationInfo* info = webkit_application_info_new();
  webkit_application_info_set_name(info, "TessaryMaker");
  webkit_automation_session_set_application_info(session, info);
  webkit_application_info_unref(info);
  g_signal_connect(session, "create-web-view", G_CALLBACK(OnAutomationCreateWebView), self);
}

WebKitWebView* TGtkHostWindow::OnAutomationCreateWebView(WebKitAutomationSession*, gpointer self) {
  return static_cast<TGtkHostWindow*>(self)->FView;
}
