// The live wallpaper's tray icon on Linux: a status notifier item
// (libayatana-appindicator3) whose GTK menu is exported over dbusmenu to the
// panel; where no status notifier watcher answers, the library shows an
// XEmbed status icon instead. Messages go to the desktop's notification
// service. Window thread only.
#pragma once

#include <string>
#include <vector>

#include "platform/TrayIcon.h"
#include "platform/linux/DesktopNotices.h"

struct _AppIndicator;
struct _GtkWidget;

class TTrayIndicator final : public ITrayIcon {
 public:
  // `id`: the item's id on the bus; `iconName`: a themed icon.
  TTrayIndicator(ITrayEvents& events, const std::string& id, const std::string& iconName);
  ~TTrayIndicator() override;
  TTrayIndicator(const TTrayIndicator&) = delete;
  TTrayIndicator& operator=(const TTrayIndicator&) = delete;

  // Until then the item stays hidden (passive), whatever Show was asked:
  // a program that may yet find itself the second instance shows nothing.
  void Release();

  bool Show(const std::string& tip, const std::vector<TMenuItem>& menu) override;
  void Remove() override;
  bool Shown() const override { return FShown; }
  void Notify(const std::string& title, const std::string& text) override;

 private:
  _GtkWidget* BuildMenu(const std::vector<TMenuItem>& items, bool top);
  static void OnConnectionChanged(_AppIndicator*, int connected, void* self);

  ITrayEvents& FEvents;
  _AppIndicator* FIndicator = nullptr;
  _GtkWidget* FActivateItem = nullptr;  // "Open Tessary" in the menu shown
  TDesktopNotices FNotices;
  bool FShown = false;
  bool FHeld = true;
  bool FConnected = false;
};
