#include "platform/linux/GtkDialogs.h"

#include "platform/linux/FileDialogs.h"

std::optional<std::string> TGtkDialogs::PickFolder(const std::string& title) {
  return RunFolderDialog(FParent(), title);
}

TSaveDialogResult TGtkDialogs::ShowSaveDialog(const TSaveDialogRequest& request) {
  return RunSaveDialog(FParent(), request);
}

int TGtkDialogs::RunMessage(GtkMessageType type, GtkButtonsType buttons, const std::string& text) {
  GtkWidget* dialog = gtk_message_dialog_new(FParent(), GTK_DIALOG_MODAL, type, buttons, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), FTitle.c_str());
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return response;
}

void TGtkDialogs::ShowError(const std::string& text) { RunMessage(GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, text); }

bool TGtkDialogs::AskYesNo(const std::string& text) {
  return RunMessage(GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, text) == GTK_RESPONSE_YES;
}
