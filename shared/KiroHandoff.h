// Live wallpaper packages and the live hand-over: importing a package makes
// it the active hand-over (the live wallpaper program's "Open from a file
// (*.kiro)…" and "--import-kiro-test="); exporting packs a hand-over the page
// has just sent (the generator's commitLiveHandoff).
#pragma once

#include <cstdint>
#include <map>
#include <span>
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

// Packs a hand-over (its play data and its photos by index) into `path`,
// replaced only once complete. The hand-over store is not touched, so a live
// wallpaper that plays meanwhile goes on playing its own. A hand-over without
// photos is refused with the text the import would give it. Never throws.
TKiroResult PackLiveHandoff(const std::string& path, const std::string& dataText,
                            const std::map<int, std::span<const std::uint8_t>>& photos);
