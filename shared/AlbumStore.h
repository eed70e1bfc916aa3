// The album works store: every saved creation is a folder named by its id
// under "<XDG data home>/Tessary/albums", holding the record the page wrote
// ("album.json"), a cover picture ("cover.jpg") and copies of the photos that
// do not come from the creation's source folder ("files/<stored name>").
//
// A save builds the whole creation in a ".stage-" sibling and then swaps it
// into place in one step; a delete first moves the folder aside under a name
// that is not an id. So a reader in either program, or a listing after a
// crash at any moment, finds each creation either complete (old or new) or
// not at all. Siblings left by a crash are swept by SweepLeftovers.
//
// Used by the generator's commands and by the live wallpaper program's tray
// (WallpaperPicks). Methods that change the store throw std::runtime_error
// with the store's own English texts (AlbumStoreTexts) or the system's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shared/JsonWriter.h"

inline constexpr std::size_t kAlbumMaxRecordChars = 10485760;
inline constexpr std::size_t kAlbumMaxNameChars = 100;
inline constexpr std::size_t kAlbumMaxCopies = 1000;
inline constexpr std::size_t kAlbumMaxCopyBytes = 104857600;
inline constexpr std::uint64_t kAlbumMaxAllCopiesBytes = 524288000;
inline constexpr std::size_t kAlbumMaxCoverBytes = 10485760;
inline constexpr std::size_t kAlbumMaxPicks = 20;

// The texts of the store's refusals, as thrown (English; the generator
// gives the user their Japanese twins).
namespace albumtext {
inline constexpr const char* kInvalidJson = "Invalid album JSON";
inline constexpr const char* kUnsupportedSchema = "Unsupported album schema";
inline constexpr const char* kInvalidName = "Invalid album name";
inline constexpr const char* kInvalidId = "Invalid album id";
inline constexpr const char* kNotFound = "Album not found";
inline constexpr const char* kTooManyCopies = "Too many copied photos";
inline constexpr const char* kInvalidCopy = "Invalid copied photo";
inline constexpr const char* kInvalidCopyName = "Invalid copied photo name";
inline constexpr const char* kCopiesTooLarge = "Copied photos are too large";
inline constexpr const char* kImageTooLarge = "Image data is too large";
inline constexpr const char* kInvalidImage = "Invalid image data";
}  // namespace albumtext

// "<XDG data home>/Tessary/albums" ($XDG_DATA_HOME, else ~/.local/share).
std::string AlbumStoreRoot();

// A new creation id: local "yyyymmdd-hhnnss", "-", 6 lower-case hex digits.
std::string NewCreationId();

// The bytes of a "data:…;base64,…" URL, at most `limit` of them.
std::vector<std::uint8_t> DecodeImageDataUrl(const std::string& url, std::size_t limit);

struct TAlbumSaved {
  std::string id;
  bool autoStart = false;  // the record's `autoStart`
};

struct TAlbumLoaded {
  TJson record;              // as stored
  std::string sourceFolder;  // the record's source folder when it exists, else empty
  std::string filesDir;      // the creation's "files" folder
};

// One creation as a listing shows it (the page's `albumList` entries).
struct TAlbumSummary {
  std::string id;
  std::string name;
  std::string updated;
  std::string motion;        // settings.motion, "album" when absent
  int photoCount = 0;        // photos recorded
  int availableCount = 0;    // photos that can still be read
  std::string cover;         // "data:image/jpeg;base64,…" or empty
  bool autoStart = false;
};

// One creation the live wallpaper's tray offers (scatter creations only).
struct TCreationPick {
  std::string id;
  std::string label;
  bool autoStart = false;
};

class TAlbumStore {
 public:
  explicit TAlbumStore(std::string root);
  const std::string& Root() const { return FRoot; }

  // `json`: the page's record; `coverDataUrl`: empty or a data URL;
  // `copies`: an array of {name, dataUrl}. Replaces the creation of the
  // record's id wholly, or makes a new one when the record has none.
  TAlbumSaved Save(const std::string& json, const std::string& coverDataUrl, const TJson& copies) const;
  TAlbumLoaded Load(const std::string& id) const;
  void Delete(const std::string& id) const;
  // Creations in the order the file system lists them; unreadable folders
  // are skipped (and logged).
  std::vector<TAlbumSummary> List() const;
  // The first creation marked to start at sign-in, or empty.
  std::string FindAutoStart() const;
  // Keeps the mark on at most one creation: with `enabled`, every creation
  // but `id` loses it; without, `id` loses it. Answers FindAutoStart().
  std::string NormaliseAutoStart(const std::string& id, bool enabled) const;
  // Scatter creations (not albums) for the tray's "Choose wallpaper": at
  // most 20, in listing order; a record without an object `settings` is
  // left out.
  std::vector<TCreationPick> WallpaperPicks() const;
  // Removes the stage and removal siblings that an interrupted save or
  // delete left behind. Only for a moment when no save runs.
  void SweepLeftovers() const;

 private:
  std::string FolderOf(const std::string& id) const;

  std::string FRoot;
};

// The `albumList` entry of a summary.
TJson AlbumSummaryJson(const TAlbumSummary& summary);
