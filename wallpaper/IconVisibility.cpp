#include "wallpaper/IconVisibility.h"

TIconVisibility::TIconVisibility(IIconLayer& layer, const TWallpaperStateFile& stateFile)
    : FLayer(layer), FStateFile(stateFile) {}

bool TIconVisibility::IsVisible() const { return !FLayer.IconsCovered(); }

bool TIconVisibility::SetVisible(bool show) {
  if (IsVisible() == show) return true;
  if (FLayer.IconLayer() != TIconLayer::ilTransparent) return false;
  if (!show && !FStateFile.Write(FOriginalVisible)) return false;
  FLayer.CoverIcons(!show);
  const bool done = IsVisible() == show;
  if (done && !show) FChangedByUs = true;
  // Showing does not count as a change of ours: a stop never hides icons
  // that the program made visible.
  if (done && show && FOriginalVisible) FStateFile.Delete();
  if (!done && !show) FStateFile.Delete();
  return done;
}

void TIconVisibility::SaveOriginal() {
  if (FSaved) return;
  FOriginalVisible = IsVisible();
  FSaved = true;
}

bool TIconVisibility::Restore() {
  if (FSaved && FChangedByUs) {
    if (!SetVisible(FOriginalVisible)) return false;
    FChangedByUs = false;
    FSaved = false;
    FStateFile.Delete();
    return true;
  }
  FStateFile.Delete();
  FSaved = false;
  return true;
}

void TIconVisibility::RecoverPending(IIconLayer& layer, const TWallpaperStateFile& stateFile) {
  stateFile.DeleteTemporary();
  const TWallpaperStateRecord record = stateFile.Read();
  if (!record.pending) return;
  TIconVisibility icons(layer, stateFile);
  icons.FOriginalVisible = record.originalVisible;
  icons.FChangedByUs = true;
  icons.FSaved = true;
  if (icons.SetVisible(record.originalVisible)) stateFile.Delete();
}
