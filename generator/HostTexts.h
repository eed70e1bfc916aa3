// The generator host's own user-visible texts in English and Japanese.
#pragma once

#include <string>

enum class THostText {
  htCaption,
  htSaveTitle,
  htPdfSaveTitle,
  htTypePng,
  htTypeJpeg,
  htTypeMp4,
  htTypePdf,
  htTypeKiro,
  htVideoSuffix,
  htImageSuffix,
  htPickFolderTitle,
  htLiveHandoffFailed,
  htLiveNotStarted,
  htPageGone,
  htReplaceQuestion,  // "%s": the file's name
  htFolderUnreadable,  // "%s": the folder and the system's message
  htBrowserFailed,     // "%s": the platform's reason
};

std::string HostText(THostText id, bool japanese);

// `id`'s text with its "%s" replaced by `value`.
std::string HostText(THostText id, bool japanese, const std::string& value);
