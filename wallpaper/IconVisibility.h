// Hides and shows the desktop icons for the live wallpaper, remembers how
// they were and puts them back on stop. Before each hide it writes the
// recovery file (WallpaperState), so that a later start can repair a desktop
// left with hidden icons by a crash. Main thread only.
#pragma once

#include "wallpaper/IconLayer.h"
#include "wallpaper/WallpaperState.h"

class TIconVisibility {
 public:
  TIconVisibility(IIconLayer& layer, const TWallpaperStateFile& stateFile);

  // The icons are not hidden by the wallpaper.
  bool IsVisible() const;
  // Brings the icons into the wanted state. Hiding is refused when the
  // recovery file cannot be written or there is no icon layer to hide.
  bool SetVisible(bool show);
  // Remembers the current visibility, once.
  void SaveOriginal();
  // Undoes what the program did; false (everything kept for a later
  // attempt) when the icons could not be brought back.
  bool Restore();

  bool OriginalVisible() const { return FOriginalVisible; }
  bool ChangedByUs() const { return FChangedByUs; }

  // At program start: repairs after an earlier run that ended with the
  // icons hidden, and removes its recovery file once they are back.
  static void RecoverPending(IIconLayer& layer, const TWallpaperStateFile& stateFile);

 private:
  IIconLayer& FLayer;
  const TWallpaperStateFile& FStateFile;
  bool FOriginalVisible = true;
  bool FSaved = false;
  bool FChangedByUs = false;
};
