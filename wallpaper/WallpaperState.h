// The recovery file of the desktop icons: it exists only while the icons
// are, or may be, hidden by the live wallpaper, so that a start after a
// crash can bring them back. "wallpaper-state.json" in the "Tessary" folder
// of the user's data folder (XDG_DATA_HOME, ~/.local/share), beside the live
// handoff store. UTF-8 JSON with a byte-order mark.
#pragma once

#include <string>

struct TWallpaperStateRecord {
  bool pending = false;          // the icons were hidden by the program
  bool originalVisible = true;   // visibility to restore
};

class TWallpaperStateFile {
 public:
  explicit TWallpaperStateFile(std::string path);

  // The file's place under a data folder such as XDG_DATA_HOME.
  static std::string PathUnder(const std::string& dataHome);

  // Writes {"iconsChangedByUs":true,"originalIconsVisible":..,"timestamp":..}
  // through a temporary sibling, so that a crash at any moment leaves the
  // old file or the new one whole.
  // False on any error (the caller then must not hide the icons).
  bool Write(bool originalVisible) const;
  // Unreadable, foreign or missing content reads as nothing pending.
  TWallpaperStateRecord Read() const;
  // Removes the file and temporary siblings left by a crash; errors are ignored.
  void Delete() const;
  // Removes only the temporary siblings left by a crash while writing: they
  // never hold anything to act on.
  void DeleteTemporary() const;

  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};
