// The live wallpaper's icon in the desktop's notification area with its
// menu, and the short messages it shows the user. The program describes the
// menu as data and gets the chosen item's id back; the Linux layer
// (platform/linux/TrayIndicator) shows it as a status notifier item with a
// GTK menu. Everything on the window's thread.
#pragma once

#include <string>
#include <vector>

struct TMenuItem {
  enum TKind { mkItem, mkCheck, mkSeparator, mkSubmenu };
  TKind kind = mkItem;
  int id = 0;                      // what OnTrayCommand receives; 0 for separators and submenus
  std::string text;
  bool enabled = true;
  bool checked = false;            // mkCheck only
  std::vector<TMenuItem> children;  // mkSubmenu only

  static TMenuItem Item(int id, std::string text, bool enabled = true) {
    return {mkItem, id, std::move(text), enabled, false, {}};
  }
  static TMenuItem Check(int id, std::string text, bool checked, bool enabled = true) {
    return {mkCheck, id, std::move(text), enabled, checked, {}};
  }
  static TMenuItem Separator() { return {mkSeparator, 0, {}, true, false, {}}; }
  static TMenuItem Submenu(std::string text, std::vector<TMenuItem> children, bool enabled = true) {
    return {mkSubmenu, 0, std::move(text), enabled, false, std::move(children)};
  }
};

class ITrayEvents {
 public:
  virtual ~ITrayEvents() = default;
  // An item of the menu was chosen (after the menu closed).
  virtual void OnTrayCommand(int id) = 0;
  // The icon's secondary activation (a middle click on most panels): the
  // nearest thing to a double-click that a status notifier item gets.
  virtual void OnTrayActivate() = 0;
  // The notification area went away and came back: the icon was shown again.
  virtual void OnTrayReappeared() = 0;
};

class ITrayIcon {
 public:
  virtual ~ITrayIcon() = default;
  // Shows the icon with its tip, or brings it up to date; the menu replaces
  // the one shown before. False when there is nowhere to show it.
  virtual bool Show(const std::string& tip, const std::vector<TMenuItem>& menu) = 0;
  virtual void Remove() = 0;
  virtual bool Shown() const = 0;
  // A short message beside the icon (a desktop notification on Linux).
  virtual void Notify(const std::string& title, const std::string& text) = 0;
};
