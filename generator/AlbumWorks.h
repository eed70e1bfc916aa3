// The generator's side of saved creations: the page's commands to save,
// list, open and delete them (albumSave, albumSaveList, albumLoad,
// albumDelete), the start at sign-in kept in line with the creation marked
// for it, and the folder of copied photos the album files origin serves.
// The store's work runs off the window's thread, one command after the
// other in the order the page sent them.
#pragma once

#include <functional>
#include <string>

#include "shared/AlbumStore.h"
#include "shared/CommandTable.h"
#include "shared/UnitContext.h"

class TAlbumWorks {
 public:
  // `onOpened` gets the source folder of a creation just opened (empty when
  // it is gone): it becomes the photo folder the photo origin serves.
  TAlbumWorks(const TUnitContext& context, std::string storeRoot,
              std::function<void(const std::string& photoDir)> onOpened);

  void Register(TCommandTable& table);
  // Once per run, after the first page load (never in a worker): the start
  // at sign-in follows the marked creation, and the page is asked to
  // restore that creation's live wallpaper (albumAutoStart).
  void RestoreAtSignInOnce();
  // Clears what an interrupted save or delete left in the store.
  void SweepLeftovers();
  // The "files" folder of the creation opened last; empty before any.
  const std::string& AlbumFilesDir() const { return FAlbumFilesDir; }
  const std::string& StoreRoot() const { return FStore.Root(); }

 private:
  void Save(const TCommand& command);
  void List(const TCommand& command);
  void Load(const TCommand& command);
  void Delete(const TCommand& command);
  // Registers (or removes) the start at sign-in for the marked creation
  // `autoStartId`; tells the page when a start it asked for cannot be had.
  void ApplySignIn(const std::string& autoStartId, bool asked);
  TFailureReport Translated(const TFailureReport& fail) const;

  const TUnitContext& FContext;
  TAlbumStore FStore;
  std::function<void(const std::string&)> FOnOpened;
  std::string FAlbumFilesDir;
  bool FAutoStartChecked = false;
};

// The store's refusal in the user's language (system messages stay as they are).
std::string AlbumErrorText(const std::string& storeText, bool japanese);
