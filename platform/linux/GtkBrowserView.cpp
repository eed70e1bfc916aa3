#include "platform/linux/GtkBrowserView.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <utility>

#include "platform/linux/WebSandbox.h"
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

bool HasGpuRenderNode() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", error))
    if (entry.path().filename().string().rfind("renderD", 0) == 0) return true;
  return false;
}

// Calls into the program run inside GLib's dispatch: a failure is logged
// there and goes no further.
template <class TCall>
void Guarded(const char* what, TCall&& call) {
  try {
    call();
  } catch (const std::exception& error) {
    LogDiagnostic("browser", std::string(what) + " failed: " + error.what());
  } catch (...) {
    LogDiagnostic("browser", std::string(what) + " failed");
  }
}

struct TStartState {
  std::weak_ptr<bool> alive;
  TGtkBrowserView* view;
  WebKitUserContentManager* manager;
};

}  // namespace

TGtkBrowserView::TGtkBrowserView(IBrowserEvents& events, const TBrowserOptions& options)
    : FEvents(events), FOptions(options) {
  FRouter = [this](const std::string& uri) {
    TWebResponse answer;
    Guarded("request", [&] { answer = FEvents.RouteRequest(uri); });
    return answer;
  };
  WebKitWebsiteDataManager* data = webkit_website_data_manager_new(
      "base-data-directory", FOptions.dataDir.c_str(), "base-cache-directory", (FOptions.dataDir + "/cache").c_str(),
      nullptr);
  WebKitNetworkProxySettings* proxy = webkit_network_proxy_settings_new(kDeadProxy, nullptr);
  webkit_website_data_manager_set_network_proxy_settings(data, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, proxy);
  webkit_network_proxy_settings_free(proxy);
  FContext = webkit_web_context_new_with_website_data_manager(data);
  g_object_unref(data);
  EnableWebSandbox(FContext);
  RegisterWebSchemes(FContext, &FRouter, &FBackground);
  if (FOptions.automation) {
    webkit_web_context_set_automation_allowed(FContext, TRUE);
    g_signal_connect(FContext, "automation-started", G_CALLBACK(OnAutomationStarted), this);
  }

  FManager = webkit_user_content_manager_new();
  InstallPageChannel();
  FView = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", FContext, "user-content-manager", FManager,
                                       "is-controlled-by-automation", FOptions.automation ? TRUE : FALSE, nullptr));
  ApplySettings();
  g_signal_connect(FView, "destroy", G_CALLBACK(OnViewDestroyed), this);
  g_signal_connect(FView, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(FView, "create", G_CALLBACK(OnCreate), this);
  g_signal_connect(FView, "close", G_CALLBACK(OnViewClose), this);
  g_signal_connect(FView, "context-menu", G_CALLBACK(OnContextMenu), this);
  g_signal_connect(FView, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(FView, "load-failed", G_CALLBACK(OnLoadFailed), this);
  g_signal_connect(FView, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), this);
  gtk_widget_show(GTK_WIDGET(FView));
}

TGtkBrowserView::~TGtkBrowserView() {
  FAlive.reset();
  if (FDispatchSource) g_source_remove(FDispatchSource);
  if (FView) {
    g_signal_handlers_disconnect_by_data(FView, this);
    gtk_widget_destroy(GTK_WIDGET(FView));
  }
  g_signal_handlers_disconnect_by_data(FManager, this);
  g_signal_handlers_disconnect_by_data(FContext, this);
  g_object_unref(FManager);
  g_object_unref(FContext);
}

void TGtkBrowserView::Start() {
  // WebKit makes the profile folder itself but cannot say when it fails; a
  // browser without it would lose the page's settings without a word.
  if (g_mkdir_with_parents(FOptions.dataDir.c_str(), 0700) != 0) {
    const int error = errno;
    return ReportCreated(false, FOptions.dataDir + ": " + std::strerror(error));
  }
  // The page is loaded only once the network rules are in force.
  WebKitUserContentFilterStore* store =
      webkit_user_content_filter_store_new((FOptions.dataDir + "/content-filters").c_str());
  GBytes* rules = g_bytes_new_static(kNetworkBlockRules, std::char_traits<char>::length(kNetworkBlockRules));
  auto* state = new TStartState{FAlive, this, FManager};
  g_object_ref(FManager);
  webkit_user_content_filter_store_save(
      store, kNetworkBlockId, rules, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<TStartState> state(static_cast<TStartState*>(data));
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
        if (!state->alive.expired()) state->view->ReportCreated(true, {});
      },
      state);
  g_bytes_unref(rules);
  g_object_unref(store);
}

void TGtkBrowserView::ReportCreated(bool ok, const std::string& failure) {
  Guarded("browser start", [&] { FEvents.OnBrowserCreated(ok, failure); });
}

void TGtkBrowserView::InstallPageChannel() {
  const std::string pattern = std::string(origins::kPage) + "/*";
  const gchar* allow[] = {pattern.c_str(), nullptr};
  WebKitUserScript* script =
      webkit_user_script_new(kPageChannelScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow, nullptr);
  webkit_user_content_manager_add_script(FManager, script);
  webkit_user_script_unref(script);
  g_signal_connect(FManager, (std::string("script-message-received::") + kMessageHandler).c_str(),
                   G_CALLBACK(OnScriptMessage), this);
  webkit_user_content_manager_register_script_message_handler(FManager, kMessageHandler);
}

void TGtkBrowserView::ApplySettings() {
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

void TGtkBrowserView::RunScript(const std::string& script) {
  if (!FView) return;
  webkit_web_view_evaluate_javascript(FView, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                      nullptr, nullptr, nullptr);
}

void TGtkBrowserView::Navigate(const std::string& uri) {
  if (FView) webkit_web_view_load_uri(FView, uri.c_str());
}

void TGtkBrowserView::LockDown() {
  FLockedDown = true;
  if (!FView) return;
  WebKitSettings* settings = webkit_web_view_get_settings(FView);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_enable_write_console_messages_to_stdout(settings, FALSE);
}

void TGtkBrowserView::OnViewDestroyed(GtkWidget*, gpointer self) {
  auto* view = static_cast<TGtkBrowserView*>(self);
  g_signal_handlers_disconnect_by_data(view->FView, view);
  view->FView = nullptr;
  view->FPageMessages.clear();
}

gboolean TGtkBrowserView::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                         WebKitPolicyDecisionType type, gpointer self) {
  auto* view = static_cast<TGtkBrowserView*>(self);
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  bool allowed = false;
  if (uri) Guarded("navigation", [&] { allowed = view->FEvents.AllowNavigation(uri); });
  if (allowed) return FALSE;
  // Frames start as empty documents of their own; those load nothing.
  if (uri && (g_str_equal(uri, "about:blank") || g_str_equal(uri, "about:srcdoc"))) return FALSE;
  LogDiagnostic("browser", std::string("navigation cancelled: ") + (uri ? uri : ""));
  webkit_policy_decision_ignore(decision);
  return TRUE;
}

void TGtkBrowserView::OnViewClose(WebKitWebView*, gpointer self) {
  auto* view = static_cast<TGtkBrowserView*>(self);
  if (view->FCloseRequested) view->FCloseRequested();
}

GtkWidget* TGtkBrowserView::OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) { return nullptr; }

gboolean TGtkBrowserView::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                        gpointer self) {
  return static_cast<TGtkBrowserView*>(self)->FLockedDown ? TRUE : FALSE;
}

void TGtkBrowserView::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  auto* view = static_cast<TGtkBrowserView*>(self);
  if (event == WEBKIT_LOAD_STARTED) view->FLoadFailed = false;
  if (event == WEBKIT_LOAD_FINISHED)
    Guarded("navigation completed", [&] { view->FEvents.OnNavigationCompleted(!view->FLoadFailed); });
}

gboolean TGtkBrowserView::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer self) {
  static_cast<TGtkBrowserView*>(self)->FLoadFailed = true;
  LogDiagnostic("browser", std::string("page load failed: ") + (uri ? uri : "") + ": " + (error ? error->message : ""));
  return FALSE;
}

void TGtkBrowserView::OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
  auto* view = static_cast<TGtkBrowserView*>(self);
  if (!view->FView) return;
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  const char* sourceUri = webkit_web_view_get_uri(view->FView);
  TPageMessage message{sourceUri ? sourceUri : "", std::nullopt};
  if (jsc_value_is_string(value)) {
    gchar* text = jsc_value_to_string(value);
    message.text = text ? text : "";
    g_free(text);
  }
  view->FPageMessages.push_back(std::move(message));
  view->ScheduleDispatch();
}

// Messages are handled from the main loop, not inside the browser's message
// dispatch (commands may open modal dialogs), one per turn of the loop so the
// window, requests and finished work go on between them.
void TGtkBrowserView::ScheduleDispatch() {
  if (FDispatchSource || FDispatching || FPageMessages.empty()) return;
  FDispatchSource = g_idle_add_full(G_PRIORITY_DEFAULT, DispatchNextMessage, this, nullptr);
}

// Strictly one command after the other, in arrival order: messages that come
// while a command shows a modal dialog wait until it has finished.
gboolean TGtkBrowserView::DispatchNextMessage(gpointer self) {
  auto* view = static_cast<TGtkBrowserView*>(self);
  view->FDispatchSource = 0;
  if (view->FPageMessages.empty()) return G_SOURCE_REMOVE;
  TPageMessage message = std::move(view->FPageMessages.front());
  view->FPageMessages.pop_front();
  const std::weak_ptr<bool> alive = view->FAlive;
  view->FDispatching = true;
  Guarded("page message", [&] { view->FEvents.OnPageMessage(message.sourceUri, message.text); });
  if (alive.expired()) return G_SOURCE_REMOVE;
  view->FDispatching = false;
  view->ScheduleDispatch();
  return G_SOURCE_REMOVE;
}

void TGtkBrowserView::OnWebProcessTerminated(WebKitWebView* webView, WebKitWebProcessTerminationReason reason,
                                             gpointer self) {
  auto* view = static_cast<TGtkBrowserView*>(self);
  const char* what = reason == WEBKIT_WEB_PROCESS_CRASHED ? "page process crashed" : "page process ended";
  // A page that keeps failing is not reloaded for ever.
  if (!view->FCrashRule.AllowReload()) {
    LogDiagnostic("browser", std::string(what) + ", not reloaded again");
    Guarded("page gone", [&] { view->FEvents.OnPageGone(); });
    return;
  }
  LogDiagnostic("browser", std::string(what) + ", reloading");
  webkit_web_view_reload(webView);
}

void TGtkBrowserView::OnAutomationStarted(WebKitWebContext*, WebKitAutomationSession* session, gpointer self) {
  auto* view = static_cast<TGtkBrowserView*>(self);
  WebKitApplicationInfo* info = webkit_application_info_new();
  webkit_application_info_set_name(info, view->FOptions.applicationName.c_str());
  webkit_automation_session_set_application_info(session, info);
  webkit_application_info_unref(info);
  g_signal_connect(session, "create-web-view", G_CALLBACK(OnAutomationCreateWebView), self);
}

WebKitWebView* TGtkBrowserView::OnAutomationCreateWebView(WebKitAutomationSession*, gpointer self) {
  return static_cast<TGtkBrowserView*>(self)->FView;
}
