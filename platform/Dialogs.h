// Modal dialogs a program shows over its window: folder and save choosers,
// error messages and yes/no questions. Called on the window's thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

// One file type of a save dialog. `mask` lists patterns separated by ";",
// for example "*.jpg;*.jpeg".
struct TFileType {
  std::string name;
  std::string mask;
};

struct TSaveDialogRequest {
  std::string title;
  std::vector<TFileType> types;
  int defaultTypeIndex = 1;   // 1-based index into `types`
  std::string defaultExt;     // without the dot; appended when the typed name has none
  std::string fileName;       // suggested file name
};

struct TSaveDialogResult {
  bool ok = false;            // false: the user cancelled
  std::string path;           // full path as chosen
  int typeIndex = 1;          // 1-based index of the file type selected when OK
  // The path the dialog itself asked about replacing, when that differs from
  // `path` (a default extension added afterwards); empty: `path`.
  std::string confirmedPath;
};

class IDialogs {
 public:
  virtual ~IDialogs() = default;
  virtual std::optional<std::string> PickFolder(const std::string& title) = 0;
  virtual TSaveDialogResult ShowSaveDialog(const TSaveDialogRequest& request) = 0;
  virtual void ShowError(const std::string& text) = 0;
  // A question answered with Yes (true) or No.
  virtual bool AskYesNo(const std::string& text) = 0;
};
