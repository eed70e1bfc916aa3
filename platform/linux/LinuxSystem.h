// System facts for the host core on Linux: XDG folders, the program's own
// folder, the interface language, fontconfig's families, the screen size and
// its work area, the start at sign-in, and the repair of recorded videos.
#pragma once

#include "platform/SystemServices.h"

class TLinuxSystem final : public ISystemServices {
 public:
  std::string KnownFolder(TKnownFolder folder) override;
  std::string ProgramDir() override;
  bool UiLanguageIsJapanese() override;
  std::vector<std::string> FontFamilies() override;
  TScreenSize PrimaryScreenSize() override;
  // An XDG autostart entry in the config home.
  bool SetStartAtSignIn(bool enable) override;
  std::optional<TWorkRows> PrimaryWorkRows() override;
  std::vector<std::uint8_t> FinishRecordedVideo(const std::string& format, std::vector<std::uint8_t> bytes) override;
};
