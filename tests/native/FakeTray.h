// The tray icon and pause sources of the live wallpaper for the controller
// tests: the tray keeps the menu it was last given and the messages it was
// asked to show; the probe answers what the test sets.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/PauseSources.h"
#include "platform/TrayIcon.h"

class TFakeTray final : public ITrayIcon {
 public:
  bool Show(const std::string& text, const std::vector<TMenuItem>& items) override {
    tip = text;
    menu = items;
    shown = true;
    return true;
  }
  void Remove() override { shown = false; }
  bool Shown() const override { return shown; }
  void Notify(const std::string& title, const std::string& text) override { notes.emplace_back(title, text); }

  // The menu as lines: "text", "[x] text" for a checked item, "-" for a
  // separator, "(text)" for a greyed one, submenus' items indented.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    AddLines(menu, "", lines);
    return lines;
  }

  std::string tip;
  std::vector<TMenuItem> menu;
  std::vector<std::pair<std::string, std::string>> notes;
  bool shown = false;

 private:
  static void AddLines(const std::vector<TMenuItem>& items, const std::string& indent, std::vector<std::string>& lines) {
    for (const TMenuItem& item : items) {
      if (item.kind == TMenuItem::mkSeparator) {
        lines.push_back(indent + "-");
        continue;
      }
      std::string text = (item.kind == TMenuItem::mkCheck && item.checked ? "[x] " : "") + item.text;
      lines.push_back(indent + (item.enabled ? text : "(" + text + ")"));
      if (item.kind == TMenuItem::mkSubmenu) AddLines(item.children, indent + "  ", lines);
    }
  }
};

class TFakeProbe final : public IPauseProbe {
 public:
  TScreenUse ScreenUse() override { return screen; }
  std::optional<bool> OnBattery() override { return battery; }

  TScreenUse screen{false, false, false};
  std::optional<bool> battery = false;
};
