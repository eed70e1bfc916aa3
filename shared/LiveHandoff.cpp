#include "shared/LiveHandoff.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"
#include "shared/Utf8.h"

namespace fs = std::filesystem;

namespace {

const char* const kPointerName = "active.txt";
const char* const kDataName = "data.json";
const char* const kPhotosName = "photos";

// The hand-over being written by this process.
struct TWriterState {
  fs::path pending;           // empty: none
  std::uint64_t bytesWritten = 0;
  bool failed = false;
};
TWriterState gWriter;

void Log(const std::string& step, const std::string& message) { LogDiagnostic("handoff", step + message); }

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }
[[noreturn]] void FailFor(const fs::path& path, const std::error_code& error) {
  Fail(path.string() + ": " + error.message());
}

std::string ReadText(const fs::path& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path.string());
  return SkipUtf8Bom(std::string(bytes.begin(), bytes.end()));
}

std::string Trim(const std::string& text) {
  const char* const space = " \t\r\n\v\f";
  const std::size_t first = text.find_first_not_of(space);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// Only names this store makes: "g-" and six lower-case hex digits. That also
// keeps a pointer from leading anywhere outside the root.
bool IsGenerationName(const std::string& name) {
  if (name.size() != 8 || name.compare(0, 2, "g-") != 0) return false;
  for (std::size_t i = 2; i < name.size(); ++i)
    if (!IsHexDigit(name[i])) return false;
  return true;
}

std::string NewGenerationName() {
  // Seeded once per process from the clock and the system's entropy, so two
  // programs starting in the same tick still draw different names.
  static std::mt19937 random = [] {
    std::random_device device;
    std::seed_seq seed{static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()),
                       device(), static_cast<std::uint32_t>(::getpid())};
    return std::mt19937(seed);
  }();
  char name[16];
  std::snprintf(name, sizeof name, "g-%06x", static_cast<unsigned>(random() % 16777216u));
  return name;
}

std::string PhotoFileName(int index) {
  char name[16];
  std::snprintf(name, sizeof name, "%04d.jpg", index);
  return name;
}

bool IsPhotoIndex(int index) { return index >= 0 && index <= kHandoffMaxPhotoIndex; }

// Empty when the data may be stored, else why not.
std::string DataProblem(const std::string& data) {
  if (data.empty()) return "the play data is empty";
  if (data.size() > kHandoffMaxDataChars && CodePointCount(data) > kHandoffMaxDataChars)
    return "the play data is longer than " + std::to_string(kHandoffMaxDataChars) + " characters";
  return {};
}

void RemoveIgnoringFailure(const fs::path& path) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

void ResetWriter() {
  gWriter.pending.clear();
  gWriter.bytesWritten = 0;
  gWriter.failed = false;
}

// Removes every folder in the root except `keep`: earlier generations and
// whatever a crash left behind.
void Sweep(const fs::path& keep) {
  std::error_code error;
  fs::directory_iterator it(HandoffRoot(), error);
  if (error) {
    Log("sweep failed: ", HandoffRoot() + ": " + error.message());
    return;
  }
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    std::error_code typeError;
    if (it->path() == keep || !it->is_directory(typeError)) continue;
    std::error_code removeError;
    fs::remove_all(it->path(), removeError);
    if (removeError) Log("sweep skipped: ", it->path().string() + ": " + removeError.message());
  }
  if (error) Log("sweep failed: ", HandoffRoot() + ": " + error.message());
}

// Creates a generation folder under a name nobody uses: a clash with the
// active generation would write the new hand-over into the one being shown.
fs::path CreateGenerationFolder(const fs::path& root) {
  for (int attempt = 0;; ++attempt) {
    const fs::path folder = root / NewGenerationName();
    if (::mkdir(folder.c_str(), 0777) == 0) return folder;
    const int error = errno;
    if (error != EEXIST || attempt >= 64) FailFor(folder, std::error_code(error, std::generic_category()));
  }
}

}  // namespace

std::string HandoffRoot() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && *dataHome) return (fs::path(dataHome) / "Tessary" / "live").string();
  const char* home = std::getenv("HOME");
  if (home && *home) return (fs::path(home) / ".local" / "share" / "Tessary" / "live").string();
  return {};
}

std::string ActiveGenerationDir() {
  const std::string root = HandoffRoot();
  if (root.empty()) return {};
  const fs::path pointer = fs::path(root) / kPointerName;
  std::error_code error;
  if (!fs::exists(pointer, error)) return {};
  try {
    const std::string name = Trim(ReadText(pointer));
    if (!IsGenerationName(name)) Fail(pointer.string() + ": \"" + name + "\" does not name a generation folder");
    const fs::path folder = fs::path(root) / name;
    if (!fs::is_directory(folder, error))
      Fail(pointer.string() + ": the generation folder \"" + name + "\" is missing");
    return folder.string();
  } catch (const std::exception& e) {
    Log("active read failed: ", e.what());
    return {};
  }
}

std::string ActiveDataPath() {
  const std::string folder = ActiveGenerationDir();
  return folder.empty() ? std::string() : (fs::path(folder) / kDataName).string();
}

std::string ActivePhotosDir() {
  const std::string folder = ActiveGenerationDir();
  return folder.empty() ? std::string() : (fs::path(folder) / kPhotosName).string();
}

std::string ActivePhotoPath(int index) {
  if (!IsPhotoIndex(index)) return {};
  const std::string photos = ActivePhotosDir();
  return photos.empty() ? std::string() : (fs::path(photos) / PhotoFileName(index)).string();
}

bool BeginHandoff() {
  AbortHandoff();
  gWriter.bytesWritten = 0;
  gWriter.failed = false;
  fs::path folder;
  try {
    const std::string root = HandoffRoot();
    if (root.empty()) Fail("there is no data folder (neither XDG_DATA_HOME nor HOME is set)");
    std::error_code error;
    fs::create_directories(root, error);
    if (error) FailFor(root, error);
    folder = CreateGenerationFolder(root);
    const fs::path photos = folder / kPhotosName;
    if (::mkdir(photos.c_str(), 0777) != 0) FailFor(photos, std::error_code(errno, std::generic_category()));
    gWriter.pending = folder;
    return true;
  } catch (const std::exception& e) {
    Log("begin failed: ", e.what());
    if (!folder.empty()) RemoveIgnoringFailure(folder);
    gWriter.pending.clear();
    return false;
  }
}

bool WriteHandoffPhoto(int index, const std::vector<std::uint8_t>& bytes) {
  if (gWriter.pending.empty()) return false;
  std::string refusal;
  if (!IsPhotoIndex(index)) {
    refusal = "photo index " + std::to_string(index) + " is outside 0 to " + std::to_string(kHandoffMaxPhotoIndex);
  } else if (bytes.empty()) {
    refusal = "photo " + std::to_string(index) + " is empty";
  } else if (bytes.size() > kHandoffMaxPhotoBytes) {
    refusal = "photo " + std::to_string(index) + " has " + std::to_string(bytes.size()) + " bytes, more than " +
              std::to_string(kHandoffMaxPhotoBytes);
  } else if (gWriter.bytesWritten + bytes.size() > kHandoffMaxTotalBytes) {
    refusal = "photo " + std::to_string(index) + " would make the hand-over larger than " +
              std::to_string(kHandoffMaxTotalBytes) + " bytes";
  }
  if (!refusal.empty()) {
    gWriter.failed = true;
    Log("photo failed: ", refusal);
    return false;
  }
  try {
    // Flushed now, so that the pointer switch at the commit never names
    // photos that a power cut could still take back.
    WriteFileDurably((gWriter.pending / kPhotosName / PhotoFileName(index)).string(), bytes);
  } catch (const std::exception& e) {
    gWriter.failed = true;
    Log("photo failed: ", e.what());
    return false;
  }
  gWriter.bytesWritten += bytes.size();
  return true;
}

bool CommitHandoff(const std::string& data) {
  const fs::path folder = gWriter.pending;
  const bool photoFailed = gWriter.failed;
  ResetWriter();
  if (folder.empty()) return false;

  const std::string problem = photoFailed ? "a photo of this hand-over could not be written" : DataProblem(data);
  if (!problem.empty()) {
    Log("commit failed: ", problem);
    RemoveIgnoringFailure(folder);
    return false;
  }
  const fs::path root = HandoffRoot();
  try {
    WriteFileDurably((folder / kDataName).string(), BytesWithBom(data));
    if (!IsRegularFile((folder / kDataName).string())) Fail((folder / kDataName).string() + ": not written");
    // Every name of the new generation reaches the disk before the pointer
    // names it.
    SyncFolder((folder / kPhotosName).string());
    SyncFolder(folder.string());
    SyncFolder(root.string());
    ReplaceFileThroughTmp((root / kPointerName).string(), BytesWithBom(folder.filename().string()));
  } catch (const std::exception& e) {
    Log("commit failed: ", e.what());
    RemoveIgnoringFailure(folder);
    return false;
  }
  Sweep(folder);
  return true;
}

void AbortHandoff() {
  if (!gWriter.pending.empty()) {
    std::error_code error;
    fs::remove_all(gWriter.pending, error);
    if (error) Log("abort failed: ", gWriter.pending.string() + ": " + error.message());
  }
  ResetWriter();
}

void ClearHandoff() {
  ResetWriter();
  const std::string root = HandoffRoot();
  if (root.empty()) return;
  std::error_code error;
  if (fs::exists(root, error)) fs::remove_all(root, error);
  if (error) Log("clear failed: ", root + ": " + error.message());
}

bool IsHandoffReady() {
  const std::string path = ActiveDataPath();
  return !path.empty() && IsRegularFile(path);
}

bool ReadHandoffData(std::string& data) {
  data.clear();
  const std::string path = ActiveDataPath();
  if (path.empty()) return false;
  try {
    data = ReadText(path);
    return !data.empty();
  } catch (const std::exception& e) {
    Log("read failed: ", e.what());
    return false;
  }
}

bool ReadHandoffPhoto(int index, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  const std::string path = ActivePhotoPath(index);
  if (path.empty() || !IsRegularFile(path)) return false;
  try {
    // The photos are served to a page: only plain files that really lie in
    // the active generation, so that no link inside the store (to the
    // folder, its photos or a file) can hand out another file of the user's.
    // The root itself may be a link, as a data folder on another disk is.
    const fs::path root = HandoffRoot();
    const fs::path real = fs::canonical(path);
    if (real != fs::canonical(root) / fs::path(path).lexically_relative(root))
      Fail(path + ": leads out of the hand-over");
    if (fs::file_size(real) > kHandoffMaxPhotoBytes) Fail(path + ": larger than a hand-over photo may be");
    bytes = ReadFileBytes(real.string());
    return !bytes.empty();
  } catch (const std::exception& e) {
    bytes.clear();
    Log("photo read failed: ", e.what());
    return false;
  }
}

bool UpdateHandoffData(const std::string& data) {
  try {
    const std::string path = ActiveDataPath();
    if (path.empty() || !IsRegularFile(path)) Fail("there is no active hand-over");
    const std::string problem = DataProblem(data);
    if (!problem.empty()) Fail(problem);
    ReplaceFileThroughTmp(path, BytesWithBom(data));
    return true;
  } catch (const std::exception& e) {
    Log("update failed: ", e.what());
    return false;
  }
}
