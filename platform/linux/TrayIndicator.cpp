#include "platform/linux/TrayIndicator.h"

#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

namespace {

// The id of an item, kept on its widget.
constexpr const char* kIdKey = "tessary-command";
// The command id that also answers the icon's secondary activation.
constexpr int kActivateCommand = 103;

struct TChosen {
  ITrayEvents* events;
  int id;
};

gboolean RunChosen(gpointer data) {
  auto* chosen = static_cast<TChosen*>(data);
  chosen->events->OnTrayCommand(chosen->id);
  delete chosen;
  return G_SOURCE_REMOVE;
}

void OnItemActivated(GtkMenuItem* item, gpointer events) {
  // Run once the menu has closed, when the menu may be rebuilt.
  g_idle_add(RunChosen, new TChosen{static_cast<ITrayEvents*>(events),
                                    GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), kIdKey))});
}

}  // namespace

TTrayIndicator::TTrayIndicator(ITrayEvents& events, const std::string& id, const std::string& iconName)
    : FEvents(events), FNotices("TessaryLive") {
  FIndicator = app_indicator_new(id.c_str(), iconName.c_str(), APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
  g_signal_connect(FIndicator, "connection-changed", G_CALLBACK(OnConnectionChanged), this);
}

void TTrayIndicator::OnConnectionChanged(AppIndicator*, gboolean connected, gpointer data) {
  auto* self = static_cast<TTrayIndicator*>(data);
  // The panel came back after it had gone: the item is shown there again.
  const bool again = connected && !self->FConnected && self->FShown;
  self->FConnected = connected;
  if (again) self->FEvents.OnTrayReappeared();
}

TTrayIndicator::~TTrayIndicator() {
  Remove();
  g_signal_handlers_disconnect_by_data(FIndicator, this);
  g_object_unref(FIndicator);
}

GtkWidget* TTrayIndicator::BuildMenu(const std::vector<TMenuItem>& items, bool top) {
  GtkWidget* menu = gtk_menu_new();
  for (const TMenuItem& item : items) {
    GtkWidget* widget = nullptr;
    switch (item.kind) {
      case TMenuItem::mkSeparator:
        widget = gtk_separator_menu_item_new();
        break;
      case TMenuItem::mkCheck:
        widget = gtk_check_menu_item_new_with_label(item.text.c_str());
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), item.checked);
        break;
      case TMenuItem::mkSubmenu:
        widget = gtk_menu_item_new_with_label(item.text.c_str());
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget), BuildMenu(item.children, false));
        break;
      case TMenuItem::mkItem:
        widget = gtk_menu_item_new_with_label(item.text.c_str());
        break;
    }
    gtk_widget_set_sensitive(widget, item.enabled);
    if (item.id != 0 && item.kind != TMenuItem::mkSubmenu) {
      g_object_set_data(G_OBJECT(widget), kIdKey, GINT_TO_POINTER(item.id));
      g_signal_connect(widget, "activate", G_CALLBACK(OnItemActivated), &FEvents);
      if (top && item.id == kActivateCommand) FActivateItem = widget;
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), widget);
  }
  gtk_widget_show_all(menu);
  return menu;
}

bool TTrayIndicator::Show(const std::string& tip, const std::vector<TMenuItem>& menu) {
  app_indicator_set_title(FIndicator, tip.c_str());
  // The old menu and its items go with it: the activation must not point at them.
  app_indicator_set_secondary_activate_target(FIndicator, nullptr);
  FActivateItem = nullptr;
  app_indicator_set_menu(FIndicator, GTK_MENU(BuildMenu(menu, true)));
  // Only an item already in the indicator's menu can be its activation.
  if (FActivateItem) app_indicator_set_secondary_activate_target(FIndicator, FActivateItem);
  if (!FHeld) app_indicator_set_status(FIndicator, APP_INDICATOR_STATUS_ACTIVE);
  FShown = true;
  return true;
}

void TTrayIndicator::Release() {
  FHeld = false;
  if (FShown) app_indicator_set_status(FIndicator, APP_INDICATOR_STATUS_ACTIVE);
}

void TTrayIndicator::Remove() {
  if (!FShown) return;
  app_indicator_set_status(FIndicator, APP_INDICATOR_STATUS_PASSIVE);
  FShown = false;
}

void TTrayIndicator::Notify(const std::string& title, const std::string& text) { FNotices.Show(title, text); }
