// The hand-over self-test of the generator's batch mode: one pass through
// the store's promises on the real folder, reported step by step.
#include <filesystem>
#include <system_error>

#include "shared/LiveHandoff.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
  return bytes;
}

int CountGenerations() {
  int count = 0;
  std::error_code error;
  for (fs::directory_iterator it(HandoffRoot(), error), end; !error && it != end; it.increment(error)) {
    std::error_code typeError;
    if (it->is_directory(typeError) && it->path().filename().string().rfind("g-", 0) == 0) ++count;
  }
  return count;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::exists(path, error);
}

}  // namespace

TJson RunHandoffSelfTest() {
  const std::vector<std::uint8_t> photo = Pattern(1024);
  const std::string data = "{\"schema\":1,\"note\":\"handoff selftest\"}";
  TJson result = TJson::object();
  std::string text;
  std::vector<std::uint8_t> bytes;

  result["begin"] = BeginHandoff();
  result["notReadyBeforeCommit"] = !IsHandoffReady();
  result["writePhoto"] = WriteHandoffPhoto(0, photo);
  result["writePhoto7"] = WriteHandoffPhoto(7, photo);
  result["commit"] = CommitHandoff(data);
  result["readyAfterCommit"] = IsHandoffReady();
  result["readData"] = ReadHandoffData(text) && text == data;
  result["readPhoto"] = ReadHandoffPhoto(0, bytes) && bytes == photo;
  result["missingPhotoFails"] = !ReadHandoffPhoto(500, bytes);

  BeginHandoff();
  WriteHandoffPhoto(0, photo);
  result["rejectHugePhoto"] = !WriteHandoffPhoto(1, Pattern(kHandoffMaxPhotoBytes + 1));
  result["rejectNegative"] = !WriteHandoffPhoto(-1, photo);
  result["rejectTooLarge"] = !WriteHandoffPhoto(9999, photo);
  result["failedCommitRejected"] = !CommitHandoff(data);
  result["previousStillReadable"] = IsHandoffReady() && ReadHandoffData(text) && text == data &&
                                     ReadHandoffPhoto(0, bytes) && bytes.size() == photo.size();

  const std::string before = ActiveGenerationDir();
  BeginHandoff();
  WriteHandoffPhoto(0, photo);
  result["recommit"] = CommitHandoff(data + " ");
  const std::string switched = ActiveGenerationDir();
  result["generationSwitched"] = !switched.empty() && switched != before;
  result["oldGenerationSwept"] = !Exists(before);
  result["noTempLeft"] = !Exists((fs::path(HandoffRoot()) / "active.txt.tmp").string());

  result["updateData"] = UpdateHandoffData(data + "  ");
  result["updateReadBack"] = ReadHandoffData(text) && text == data + "  ";
  result["updateKeepsGeneration"] = ActiveGenerationDir() == switched;
  result["updateKeepsPhoto"] = ReadHandoffPhoto(0, bytes) && bytes.size() == photo.size();
  result["updateNoTempLeft"] = !Exists(ActiveDataPath() + ".tmp");

  const int generations = CountGenerations();
  BeginHandoff();
  WriteHandoffPhoto(0, photo);
  BeginHandoff();
  WriteHandoffPhoto(0, photo);
  AbortHandoff();
  result["doubleBeginLeavesNothing"] = CountGenerations() == generations;
  result["doubleBeginKeepsActive"] = IsHandoffReady() && ReadHandoffData(text);

  ClearHandoff();
  result["updateRejectedWhenEmpty"] = !UpdateHandoffData(data);
  result["clearedRoot"] = !Exists(HandoffRoot());
  result["notReadyAfterClear"] = !IsHandoffReady();
  result["root"] = HandoffRoot();
  return result;
}
