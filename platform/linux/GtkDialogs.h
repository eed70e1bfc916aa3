// Modal dialogs over a program's window on Linux: GTK's native file
// choosers and message boxes.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "platform/Dialogs.h"

class TGtkDialogs final : public IDialogs {
 public:
  // `parent` gives the window the dialogs belong to (nullptr: none);
  // `title` is the caption of message boxes.
  TGtkDialogs(std::function<GtkWindow*()> parent, std::string title)
      : FParent(std::move(parent)), FTitle(std::move(title)) {}

  std::optional<std::string> PickFolder(const std::string& title) override;
  TSaveDialogResult ShowSaveDialog(const TSaveDialogRequest& request) override;
  void ShowError(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;

 private:
  int RunMessage(GtkMessageType type, GtkButtonsType buttons, const std::string& text);

  std::function<GtkWindow*()> FParent;
  std::string FTitle;
};
