// Answers for the four origins, as plain data (no browser types).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shared/JpegReduction.h"
#include "shared/WebResponse.h"

class IImageCodec;

struct TWebRouteContext {
  bool webFromDisk = false;     // page origin left to the web folder
  std::string photoDir;         // empty: no photo folder
  // Every folder served this run, by its place: "/__dir/N/name" keeps naming
  // the file of folder N after another folder is picked.
  std::vector<std::string> servedPhotoDirs;
  std::string heicTempDir;      // converted pictures under "/__temp/"
  std::string albumFilesDir;    // empty: no opened creation
  // Held live pictures by index; returns nullptr when there is none.
  std::function<const std::vector<std::uint8_t>*(int index)> livePhoto;
  IImageCodec* codec = nullptr; // HEIC files are served converted to JPEG
};

// Files are served only from inside their folder, with links resolved (see
// ContainedPath.h); a URI's fragment is dropped before anything is read.
// Photos and album files may be asked for reduced ("?width=N") or as the
// photo list's thumbnail ("?thumb=N"; see JpegReduction.h).
TWebResponse RouteWebRequest(const std::string& uri, const TWebRouteContext& context);

// The page file a page-origin URI names: the path after the origin, cut
// before "?" (and "#"), with "index.html" for an empty path.
std::string PageAssetPath(const std::string& uri);
// The page asset answer (not answered when the path has no embedded row).
TWebResponse AnswerPageAsset(const std::string& uri);
// The web folder stand-in for page-origin requests nobody else answered.
TWebResponse AnswerFromWebFolder(const std::string& uri, const std::string& webDir);
// The resolved file a photo-origin request names (by its listed name, see
// ListedName.h), or empty when it names none inside the folder. Below
// "__dir/N/" the name is looked up in `servedDirs[N]` instead of `photoDir`.
std::string ChoosePhotoFile(const std::string& uri, const std::string& photoDir,
                            const std::string& heicTempDir, const std::vector<std::string>& servedDirs = {});
// A file answered as a photo (content type by extension, HEIC converted).
// Asked for a width, a JPEG wider than that is answered reduced to it; asked
// for a thumbnail, a JPEG is answered as one, anything else with "204 No
// Content" (see JpegReduction.h). Both are made off the window's thread.
TWebResponse AnswerPhotoFile(const std::string& path, IImageCodec* codec, TPhotoReduction reduction = {});
// The live photo origin's answer for one picture: the JPEG, or 404 when
// there is none (nullptr or empty).
TWebResponse AnswerLivePicture(const std::vector<std::uint8_t>* picture);
// The answer to every address the programs do not serve: 403.
TWebResponse AnswerBlocked();
