#include "platform/linux/GtkBrowserWindow.h"

#include <gdk/gdk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <algorithm>
#include <exception>
#include <utility>

#include "shared/Diagnostics.h"

namespace {

// The desktop attachment watches the window from a connection of its own:
// requests go out at once rather than when the main loop next flushes them.
void FlushToDisplay() {
  if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
}

}  // namespace

TGtkBrowserWindow::~TGtkBrowserWindow() {
  FAlive.reset();
  if (FCloseSource) g_source_remove(FCloseSource);
  if (FScreen) g_signal_handlers_disconnect_by_data(FScreen, this);
  FEvents = nullptr;  // the program may already be gone; it gets no more events
  if (FWindow) gtk_widget_destroy(GTK_WIDGET(FWindow));
}

GtkWindow* TGtkBrowserWindow::MakeWindow() {
  switch (FOptions.kind) {
    case TWindowKind::wkHiddenWorker: {
      // Drawn off screen: no window of the display system exists, so no
      // desktop (X11 or Wayland) can show it, while the view inside counts as
      // shown and the page loads, runs and draws as usual.
      GtkWindow* window = GTK_WINDOW(gtk_offscreen_window_new());
      gtk_window_set_default_size(window, FOptions.width, FOptions.height);
      return window;
    }
    case TWindowKind::wkDesktopBackdrop: {
      GtkWindow* window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
      gtk_window_set_decorated(window, FALSE);
      gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DESKTOP);
      gtk_window_set_skip_taskbar_hint(window, TRUE);
      gtk_window_set_skip_pager_hint(window, TRUE);
      gtk_window_set_accept_focus(window, FALSE);
      gtk_window_set_focus_on_map(window, FALSE);
      gtk_window_set_keep_below(window, TRUE);
      gtk_window_stick(window);
      GdkDisplay* display = gdk_display_get_default();
      GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
      if (!monitor && display && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
      GdkRectangle area{0, 0, FOptions.width, FOptions.height};
      if (monitor) gdk_monitor_get_geometry(monitor, &area);
      gtk_window_move(window, area.x, area.y);
      gtk_window_set_default_size(window, area.width, area.height);
      return window;
    }
    case TWindowKind::wkNormal:
      break;
  }
  GtkWindow* window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  gtk_widget_set_size_request(GTK_WIDGET(window), FOptions.minWidth, FOptions.minHeight);
  gtk_window_set_default_size(window, FOptions.width, FOptions.height);
  gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  return window;
}

void TGtkBrowserWindow::Open(IBrowserEvents& events, const TWindowOptions& window, const TBrowserOptions& browser) {
  FEvents = &events;
  FOptions = window;
  FWindow = MakeWindow();
  gtk_window_set_title(FWindow, FTitle.c_str());
  g_signal_connect(FWindow, "delete-event", G_CALLBACK(OnDeleteEvent), this);
  g_signal_connect(FWindow, "destroy", G_CALLBACK(OnDestroy), this);
  FView = std::make_unique<TGtkBrowserView>(events, browser);
  // The page or a driving session asking to close the view asks to close the
  // window, negotiated like any other close.
  FView->OnCloseRequested([this] {
    if (FWindow && CloseQuery()) gtk_widget_destroy(GTK_WIDGET(FWindow));
  });
  gtk_container_add(GTK_CONTAINER(FWindow), FView->Widget());
  if (FOptions.kind == TWindowKind::wkDesktopBackdrop) return;
  Show();
  StartBrowser();
}

void TGtkBrowserWindow::StartBrowser() {
  if (!FView || FBrowserStarted) return;
  FBrowserStarted = true;
  FView->Start();
}

TNativeWindow TGtkBrowserWindow::NativeWindow() {
  if (!FWindow) return 0;
  gtk_widget_realize(GTK_WIDGET(FWindow));
#ifdef GDK_WINDOWING_X11
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(FWindow));
  if (window && GDK_IS_X11_WINDOW(window)) return gdk_x11_window_get_xid(window);
#endif
  return 0;
}

void TGtkBrowserWindow::Place(const TScreenRect& area) {
  if (!FWindow || area.width <= 0 || area.height <= 0) return;
  // GTK counts in logical pixels; the area is the window system's.
  const int scale = std::max(1, gtk_widget_get_scale_factor(GTK_WIDGET(FWindow)));
  gtk_window_move(FWindow, area.x / scale, area.y / scale);
  gtk_window_resize(FWindow, area.width / scale, area.height / scale);
  FlushToDisplay();
}

void TGtkBrowserWindow::TrySuspendBrowser(std::function<void(bool ok)> done) {
  if (FView) gtk_widget_hide(FView->Widget());
  struct TCompletion {
    std::weak_ptr<bool> alive;
    std::function<void(bool)> done;
    bool ok;
  };
  // Completed from the main loop, as an engine's own suspension would be.
  g_idle_add_full(
      G_PRIORITY_DEFAULT_IDLE,
      [](gpointer data) -> gboolean {
        auto* completion = static_cast<TCompletion*>(data);
        if (!completion->alive.expired() && completion->done) {
          try {
            completion->done(completion->ok);
          } catch (const std::exception& error) {
            LogDiagnostic("window", std::string("suspend completion failed: ") + error.what());
          }
        }
        return G_SOURCE_REMOVE;
      },
      new TCompletion{FAlive, std::move(done), FView != nullptr},
      [](gpointer data) { delete static_cast<TCompletion*>(data); });
}

void TGtkBrowserWindow::ResumeBrowser() {
  if (FView) gtk_widget_show(FView->Widget());
}

void TGtkBrowserWindow::OnScreenChanged(std::function<void()> onChanged) {
  FScreenChanged = std::move(onChanged);
  if (FScreen) return;
  FScreen = gdk_screen_get_default();
  if (!FScreen) return;
  g_signal_connect(FScreen, "size-changed", G_CALLBACK(OnScreenSignal), this);
  g_signal_connect(FScreen, "monitors-changed", G_CALLBACK(OnScreenSignal), this);
}

void TGtkBrowserWindow::OnScreenSignal(GdkScreen*, gpointer self) {
  auto* window = static_cast<TGtkBrowserWindow*>(self);
  if (!window->FScreenChanged) return;
  try {
    window->FScreenChanged();
  } catch (const std::exception& error) {
    LogDiagnostic("window", std::string("screen change failed: ") + error.what());
  }
}

GtkWindow* TGtkBrowserWindow::DialogParent() const {
  return FOptions.kind == TWindowKind::wkNormal ? FWindow : nullptr;
}

void TGtkBrowserWindow::Show() {
  if (!FWindow) return;
  gtk_widget_show(GTK_WIDGET(FWindow));
  FlushToDisplay();
}

void TGtkBrowserWindow::Hide() {
  if (!FWindow) return;
  gtk_widget_hide(GTK_WIDGET(FWindow));
  FlushToDisplay();
}

void TGtkBrowserWindow::RunScript(const std::string& script) {
  if (FView) FView->RunScript(script);
}

void TGtkBrowserWindow::LockDownBrowser() {
  if (FView) FView->LockDown();
}

void TGtkBrowserWindow::Navigate(const std::string& uri) {
  if (FView) FView->Navigate(uri);
}

void TGtkBrowserWindow::SetTitle(const std::string& utf8Title) {
  FTitle = utf8Title;
  if (FWindow) gtk_window_set_title(FWindow, FTitle.c_str());
}

void TGtkBrowserWindow::Close() {
  // Deferred: the program asks from inside a browser event that must finish first.
  if (FCloseSource) return;
  FCloseSource = g_idle_add(
      [](gpointer self) -> gboolean {
        auto* window = static_cast<TGtkBrowserWindow*>(self);
        window->FCloseSource = 0;
        if (window->FWindow) gtk_widget_destroy(GTK_WIDGET(window->FWindow));
        return G_SOURCE_REMOVE;
      },
      this);
}

void TGtkBrowserWindow::BringToFront() {
  if (!FWindow || FOptions.kind != TWindowKind::wkNormal) return;
  gtk_widget_show(GTK_WIDGET(FWindow));
  gtk_window_deiconify(FWindow);
  gtk_window_present(FWindow);
}

bool TGtkBrowserWindow::CloseQuery() {
  if (!FEvents) return true;
  try {
    return FEvents->CloseQuery();
  } catch (const std::exception& error) {
    // A program that cannot decide must not keep the user from closing.
    LogDiagnostic("window", std::string("close query failed: ") + error.what());
    return true;
  }
}

gboolean TGtkBrowserWindow::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
  // FALSE lets the close go ahead; TRUE: the page was asked and decides.
  return static_cast<TGtkBrowserWindow*>(self)->CloseQuery() ? FALSE : TRUE;
}

void TGtkBrowserWindow::OnDestroy(GtkWidget*, gpointer self) {
  auto* window = static_cast<TGtkBrowserWindow*>(self);
  window->FWindow = nullptr;
  if (window->FEvents) {
    try {
      window->FEvents->OnDestroyed();
    } catch (const std::exception& error) {
      LogDiagnostic("window", std::string("destroy failed: ") + error.what());
    }
  }
  if (window->FOptions.endsProgram && gtk_main_level() > 0) gtk_main_quit();
}
