#include "shared/KiroHandoff.h"

#include "shared/Diagnostics.h"
#include "shared/LiveHandoff.h"

namespace {

// The import refuses such a package with this text; saying so beats writing one.
const char* const kNoPhotos = "写真が1枚も入っていません";

}  // namespace

bool THandoffKiroSink::Begin() { return BeginHandoff(); }

bool THandoffKiroSink::WritePhoto(int index, const std::vector<std::uint8_t>& bytes) {
  return WriteHandoffPhoto(index, bytes);
}

bool THandoffKiroSink::Commit(const std::string& dataText) { return CommitHandoff(dataText); }

void THandoffKiroSink::Abort() { AbortHandoff(); }

TKiroResult ImportKiroToHandoff(const std::string& path) {
  THandoffKiroSink sink;
  TKiroResult result = ImportKiro(path, sink);
  if (!result.ok) LogDiagnostic("kiro", "import failed: " + result.error + " (" + result.detail + ")");
  return result;
}

TKiroResult PackLiveHandoff(const std::string& path, const std::string& dataText,
                            const std::map<int, std::span<const std::uint8_t>>& photos) {
  TKiroResult result = photos.empty() ? TKiroResult{false, kNoPhotos, "no photo in the hand-over"}
                                      : WriteKiro(path, dataText, photos);
  if (!result.ok) LogDiagnostic("kiro", "export failed: " + result.detail);
  return result;
}
