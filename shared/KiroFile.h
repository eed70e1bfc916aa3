// The live wallpaper package ".kiro": a ZIP archive holding one live handoff
// (the play data, the photos by index and a short description), with its
// writer and its reader. A package may come from anywhere, so the reader
// checks the whole archive before it asks for a new handoff generation and
// holds every entry to its declared sizes and CRC while unpacking it; any
// failure after that drops the new generation, so the wallpaper playing
// before keeps playing.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "shared/ZipArchive.h"

// The outcome of an import or an export. `error` is the text shown to the
// user; `detail` says in English what exactly failed, for the diagnostics.
struct TKiroResult {
  bool ok = false;
  std::string error;
  std::string detail;
};

enum TKiroEntryKind { ekNone, ekReject, ekData, ekMeta, ekPhoto };

struct TKiroEntryClass {
  TKiroEntryKind kind = ekNone;
  int photoIndex = -1;  // for ekPhoto: 0 … 999
};

// What an entry name means: "data.json" and "meta.json" at the root (any
// letter case); "photos/" + a whole number from 0 to 999 + ".jpg" (any case);
// a name that could escape a folder or confuse a file system is rejected;
// anything else is ignored.
TKiroEntryClass ClassifyEntry(std::string_view name);

// Where an import puts what it unpacks: a new live handoff generation. Every
// photo passed on has been checked against its size and CRC; nothing is
// final before Commit, and Abort drops everything written since Begin.
class IKiroSink {
 public:
  virtual ~IKiroSink() = default;
  virtual bool Begin() = 0;
  virtual bool WritePhoto(int index, const std::vector<std::uint8_t>& bytes) = 0;
  // `dataText`: the play data as UTF-8, without byte-order mark.
  virtual bool Commit(const std::string& dataText) = 0;
  virtual void Abort() = 0;
};

// Never throws: every failure becomes the result's message.
TKiroResult ImportKiro(const std::string& path, IKiroSink& sink);
TKiroResult ImportKiro(const IZipSource& source, IKiroSink& sink);

struct TKiroPhoto {
  int index = 0;                    // 0 … 999
  std::string path;                 // read from this file when not empty,
  std::vector<std::uint8_t> bytes;  // otherwise these are the JPEG
};

// Writes a package of `dataText` (UTF-8, with or without byte-order mark;
// stored with one) and `photos` to `path` through a sibling that replaces it
// only once complete: a failed export leaves no partial package and keeps a
// file that was there. Never throws.
TKiroResult WriteKiro(const std::string& path, const std::string& dataText, const std::vector<TKiroPhoto>& photos);
// The same from JPEG bytes by index that stay where they are (a hand-over
// held in memory), so that a large hand-over is not copied to be packed.
TKiroResult WriteKiro(const std::string& path, const std::string& dataText,
                      const std::map<int, std::span<const std::uint8_t>>& photos);
// The same from a handoff generation's "data.json" and "photos" folder (the
// active one's paths; empty when there is none).
TKiroResult WriteKiroFromHandoff(const std::string& path, const std::string& dataPath, const std::string& photosDir);
