// Live wallpaper packages and the live hand-over store: importing a package
// makes it the active hand-over (the live wallpaper program's "Open from a
// file (*.kiro)…" and "--import-kiro-test="); exporting packs the active
// hand-over into a package (the generator's commitLiveHandoff).
#pragma once

#include <string>

#include "shared/KiroFile.h"

// Unpacks into a new hand-over generation: nothing is final before the
// commit, and an abandoned import leaves the active generation as it was.
class THandoffKiroSink final : public IKiroSink {
 public:
  bool Begin() override;
  bool WritePhoto(int index, const std::vector<std::uint8_t>& bytes) override;
  bool Commit(const std::string& dataText) override;
  void Abort() override;
};

// Checks the package strictly, then makes it the active hand-over; on any
// failure the hand-over that was active stays active and playable. Never throws.
TKiroResult ImportKiroToHandoff(const std::string& path);

// Packs the active hand-over into `path` (replaced only once complete);
// fails with "ライブ壁紙の引き渡しがありません" when there is none. Never throws.
TKiroResult ExportActiveHandoffKiro(const std::string& path);
