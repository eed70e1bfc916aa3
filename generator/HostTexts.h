// The generator host's own user-visible texts in English and Japanese.
#pragma once

#include <string>

enum class THostText {
  htCaption,
  htSaveTitle,
  htTypePng,
  htTypeJpeg,
  htTypeMp4,
  htTypeKiro,
  htTypePdf,
  htVideoSuffix,
  htImageSuffix,
  htPickFolderTitle,
  htAlbumsUnavailable,
  htPdfUnavailable,
  htWallpaperUnavailable,
  htRestoreUnavailable,
  htLiveUnavailable,
  htKiroUnavailable,
  htPageGone,
  htReplaceQuestion,  // "%s": the file's name
  htFolderUnreadable,  // "%s": the folder and the system's message
};

std::string HostText(THostText id, bool japanese);

// The browser could not be created; `resultCode` as eight upper-case hex digits.
std::string BrowserFailureText(std::uint32_t resultCode);
