// The user's photo materials: picking the photo folder (whose files the photo
// origin serves), HEIC files sent by the page and converted to JPEG, and the
// installed fonts for the title font choice.
#pragma once

#include <string>
#include <vector>

#include "platform/ImageCodec.h"
#include "shared/CommandTable.h"
#include "shared/UnitContext.h"

class TMaterials {
 public:
  // `heicTempDir`: where converted pictures go and are served from.
  TMaterials(const TUnitContext& context, IImageCodec& codec, std::string heicTempDir);

  // pickMaterialFolder, convertHeic, getFonts.
  void Register(TCommandTable& table);

  // Makes `folder` the photo folder and lists it to the page; a folder that
  // cannot be opened is reported to the user instead and the folder in use stays.
  // The listing's base URL names the folder by its place among those served
  // this run, so the page can fetch its photos again after another pick.
  void SetPhotoFolder(const std::string& folder, bool recursive);
  // Every folder picked this run, in the order first picked (see WebRouting.h).
  const std::vector<std::string>& ServedPhotoDirs() const { return FServedDirs; }
  // Serves `folder` as the photo folder without listing it to the page (a
  // batch render sends its listing with its request).
  void ServePhotoFolder(const std::string& folder) { FPhotoDir = folder; }
  const std::string& PhotoDir() const { return FPhotoDir; }
  // The folder of a creation just opened becomes the one served, without
  // listing it (the creation names its photos); empty serves none.
  void UsePhotoFolder(const std::string& folder) { FPhotoDir = folder; }
  const std::string& HeicTempDir() const { return FHeicTempDir; }

 private:
  void PickMaterialFolder(const TCommand& command);
  void ConvertHeic(const TCommand& command);
  void GetFonts(const TCommand& command);

  const TUnitContext& FContext;
  IImageCodec& FCodec;
  std::string FHeicTempDir;
  std::string FPhotoDir;
  std::vector<std::string> FServedDirs;
};
