#include "shared/KiroHandoff.h"

#include "shared/Diagnostics.h"
#include "shared/LiveHandoff.h"

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

TKiroResult ExportActiveHandoffKiro(const std::string& path) {
  TKiroResult result = WriteKiroFromHandoff(path, ActiveDataPath(), ActivePhotosDir());
  if (!result.ok) LogDiagnostic("kiro", "export failed: " + result.detail);
  return result;
}
