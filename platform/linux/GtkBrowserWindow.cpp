#include "platform/linux/GtkBrowserWindow.h"

#include <exception>

#include "shared/Diagnostics.h"

TGtkBrowserWindow::~TGtkBrowserWindow() {
  if (FCloseSource) g_source_remove(FCloseSource);
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
  if (FOptions.kind != TWindowKind::wkDesktopBackdrop) Show();
  FView->Start();
}

GtkWindow* TGtkBrowserWindow::DialogParent() const {
  return FOptions.kind == TWindowKind::wkNormal ? FWindow : nullptr;
}

void TGtkBrowserWindow::Show() {
  if (FWindow) gtk_widget_show(GTK_WIDGET(FWindow));
}

void TGtkBrowserWindow::Hide() {
  if (FWindow) gtk_widget_hide(GTK_WIDGET(FWindow));
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
