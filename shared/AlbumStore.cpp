#include "shared/AlbumStore.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

#include "shared/Base64.h"
#include "shared/CreationId.h"
#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"
#include "shared/LocalTime.h"
#include "shared/TextUtil.h"
#include "shared/Utf8.h"

namespace fs = std::filesystem;

namespace {

constexpr char kRecordName[] = "album.json";
constexpr char kCoverName[] = "cover.jpg";
constexpr char kFilesName[] = "files";
// Siblings of a creation's folder while it is saved or removed. Their names
// hold a dot, which no id does, so listing and opening never take them.
constexpr const char* kLeftoverMarks[] = {".stage-", ".backup-", ".trash-"};

std::string RandomHex6() {
  static thread_local std::mt19937 random(std::random_device{}());
  char text[8];
  std::snprintf(text, sizeof text, "%06x", static_cast<unsigned>(random() % 16777216u));
  return text;
}

// "2025-01-31T12:34:56.789Z"
std::string UtcStampNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
  return text;
}

// Spaces at either end, as the page's trim sees them: ASCII white space,
// the no-break space and the ideographic space.
std::string TrimSpaces(const std::string& text) {
  const auto isSpaceAt = [&](std::size_t at, std::size_t& length) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c == ' ' || (c >= '\t' && c <= '\r')) return (length = 1), true;
    if (text.compare(at, 2, "\xC2\xA0") == 0) return (length = 2), true;
    if (text.compare(at, 3, "\xE3\x80\x80") == 0) return (length = 3), true;
    return false;
  };
  std::size_t begin = 0;
  std::size_t length = 0;
  while (begin < text.size() && isSpaceAt(begin, length)) begin += length;
  std::size_t end = text.size();
  for (bool trimmed = true; trimmed && end > begin;) {
    trimmed = false;
    for (std::size_t back : {1u, 2u, 3u}) {
      if (end - begin >= back && isSpaceAt(end - back, length) && length == back) {
        end -= back;
        trimmed = true;
        break;
      }
    }
  }
  return text.substr(begin, end - begin);
}

// Moves a member to the end of the object (the host's members come after the page's).
void SetLast(TJson& record, const char* name, TJson value) {
  record.erase(name);
  record[name] = std::move(value);
}

TJson ParseRecordText(const std::string& text) {
  return TJson::parse(SkipUtf8Bom(text), nullptr, false);
}

TJson ReadRecord(const fs::path& folder) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes((folder / kRecordName).string());
  return ParseRecordText(std::string(bytes.begin(), bytes.end()));
}

void WriteRecord(const fs::path& folder, const TJson& record) {
  WriteTextFileWithBom((folder / kRecordName).string(), WriteJson(record));
}

bool HasSchemaOne(const TJson& record) {
  if (!record.is_object()) return false;
  const auto schema = record.find("schema");
  return schema != record.end() && schema->is_number_integer() && schema->get<std::int64_t>() == 1;
}

std::string TextMember(const TJson& record, const char* name, const std::string& fallback) {
  const auto it = record.find(name);
  return it != record.end() && it->is_string() ? it->get<std::string>() : fallback;
}

bool AutoStartOf(const TJson& record) {
  const auto it = record.find("autoStart");
  return it != record.end() && it->is_boolean() && it->get<bool>();
}

std::string MotionOf(const TJson& record) {
  const auto settings = record.find("settings");
  if (settings == record.end() || !settings->is_object()) return "album";
  return TextMember(*settings, "motion", "album");
}

bool IsFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

bool IsFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

// The creation folders of the root in the file system's order: named by a
// valid id and holding a record.
template <typename TVisit>
void ForEachCreation(const std::string& root, TVisit visit) {
  std::error_code error;
  if (!IsFolder(root)) return;
  fs::directory_iterator it(root, error);
  if (error) throw std::runtime_error(root + ": " + error.message());
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!IsValidCreationId(name) || !IsFile(it->path() / kRecordName)) continue;
    visit(name, it->path());
  }
  if (error) throw std::runtime_error(root + ": " + error.message());
}

void RemoveTree(const fs::path& path) {
  std::error_code error;
  fs::remove_all(path, error);
  if (error) LogDiagnostic("albums", "could not remove " + path.string() + ": " + error.message());
}

// The photos a listing counts and how many of them can still be read.
void CountPhotos(const TJson& record, const fs::path& folder, TAlbumSummary& summary) {
  const auto photos = record.find("photos");
  if (photos == record.end() || !photos->is_array()) throw std::runtime_error("photos is not a list");
  const std::string sourceFolder = TextMember(record, "sourceFolder", "");
  const bool sourceExists = !sourceFolder.empty() && IsFolder(sourceFolder);
  for (const TJson& photo : *photos) {
    if (!photo.is_object()) continue;
    const std::string name = TextMember(photo, "name", "");
    if (!IsValidStoredPhotoName(name)) continue;
    ++summary.photoCount;
    const bool fromFolder = TextMember(photo, "origin", "") == "folder";
    const fs::path file = fromFolder ? fs::path(sourceFolder) / name : folder / kFilesName / name;
    if ((!fromFolder || sourceExists) && IsFile(file)) ++summary.availableCount;
  }
}

std::string CoverDataUrl(const fs::path& folder) {
  const fs::path cover = folder / kCoverName;
  std::error_code error;
  const auto size = fs::file_size(cover, error);
  if (error || size > kAlbumMaxCoverBytes) return {};
  return "data:image/jpeg;base64," + Base64Encode(ReadFileBytes(cover.string()));
}

void WriteNewFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  if (error) throw std::runtime_error(path.parent_path().string() + ": " + error.message());
  WriteFileDurably(path.string(), bytes);
}

// Writes the copies into the stage's "files" folder, holding them to their limits.
void WriteCopies(const TJson& copies, const fs::path& filesDir) {
  if (!copies.is_array()) throw std::runtime_error(albumtext::kInvalidCopy);
  if (copies.size() > kAlbumMaxCopies) throw std::runtime_error(albumtext::kTooManyCopies);
  std::uint64_t total = 0;
  for (const TJson& copy : copies) {
    if (!copy.is_object()) throw std::runtime_error(albumtext::kInvalidCopy);
    const std::string name = TextMember(copy, "name", "");
    if (!IsValidStoredPhotoName(name)) throw std::runtime_error(albumtext::kInvalidCopyName);
    const auto url = copy.find("dataUrl");
    if (url == copy.end() || !url->is_string()) throw std::runtime_error(albumtext::kInvalidImage);
    const std::vector<std::uint8_t> bytes = DecodeImageDataUrl(url->get_ref<const std::string&>(), kAlbumMaxCopyBytes);
    total += bytes.size();
    if (total > kAlbumMaxAllCopiesBytes) throw std::runtime_error(albumtext::kCopiesTooLarge);
    WriteNewFile(filesDir / name, bytes);
  }
}

}  // namespace

std::string AlbumStoreRoot() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && *dataHome) return (fs::path(dataHome) / "Tessary" / "albums").string();
  const char* home = std::getenv("HOME");
  if (home && *home) return (fs::path(home) / ".local" / "share" / "Tessary" / "albums").string();
  return {};
}

std::string NewCreationId() { return LocalTimeStamp('-') + "-" + RandomHex6(); }

std::vector<std::uint8_t> DecodeImageDataUrl(const std::string& url, std::size_t limit) {
  const std::size_t comma = url.find(',');
  if (comma == std::string::npos) throw std::runtime_error(albumtext::kInvalidImage);
  if (ToLowerAscii(std::string_view(url).substr(0, comma)).find(";base64") == std::string::npos) {
    throw std::runtime_error(albumtext::kInvalidImage);
  }
  if (url.size() - comma - 1 > limit * 4 / 3 + 16) throw std::runtime_error(albumtext::kImageTooLarge);
  std::vector<std::uint8_t> bytes;
  try {
    bytes = Base64Decode(url.substr(comma + 1));
  } catch (const std::exception&) {
    throw std::runtime_error(albumtext::kInvalidImage);
  }
  if (bytes.size() > limit) throw std::runtime_error(albumtext::kImageTooLarge);
  return bytes;
}

TAlbumStore::TAlbumStore(std::string root) : FRoot(std::move(root)) {}

std::string TAlbumStore::FolderOf(const std::string& id) const { return (fs::path(FRoot) / id).string(); }

TAlbumSaved TAlbumStore::Save(const std::string& json, const std::string& coverDataUrl, const TJson& copies) const {
  if (json.empty() || CodePointCount(json) > kAlbumMaxRecordChars) throw std::runtime_error(albumtext::kInvalidJson);
  TJson record = ParseRecordText(json);
  if (record.is_discarded()) throw std::runtime_error(albumtext::kInvalidJson);
  if (!HasSchemaOne(record)) throw std::runtime_error(albumtext::kUnsupportedSchema);
  const std::string name = TrimSpaces(TextMember(record, "name", ""));
  const std::size_t nameLength = CodePointCount(name);
  if (nameLength < 1 || nameLength > kAlbumMaxNameChars) throw std::runtime_error(albumtext::kInvalidName);
  std::string id = TextMember(record, "id", "");
  if (id.empty()) id = NewCreationId();
  if (!IsValidCreationId(id)) throw std::runtime_error(albumtext::kInvalidId);

  std::error_code error;
  fs::create_directories(FRoot, error);
  if (error) throw std::runtime_error(FRoot + ": " + error.message());
  const fs::path final = FolderOf(id);
  const fs::path stage = FolderOf(id + ".stage-" + RandomHex6());
  try {
    fs::create_directory(stage);
    fs::create_directory(stage / kFilesName);

    const std::string updated = UtcStampNow();
    const bool pageCreated = record.contains("created") && record["created"].is_string();
    SetLast(record, "id", id);
    SetLast(record, "name", name);
    SetLast(record, "updated", updated);
    if (!pageCreated) {
      std::string created = updated;
      try {
        const TJson existing = ReadRecord(final);
        if (existing.is_object()) created = TextMember(existing, "created", updated);
      } catch (const std::exception&) {
        // a new creation, or an unreadable old record: this save creates it
      }
      SetLast(record, "created", created);
    }

    WriteCopies(copies, stage / kFilesName);
    if (!coverDataUrl.empty()) {
      WriteFileDurably((stage / kCoverName).string(), DecodeImageDataUrl(coverDataUrl, kAlbumMaxCoverBytes));
    }
    const fs::path recordTmp = stage / (std::string(kRecordName) + ".tmp");
    WriteFileDurably(recordTmp.string(), BytesWithBom(WriteJson(record)));
    fs::rename(recordTmp, stage / kRecordName);
    SyncFolder(stage.string());

    // The old version, if any, is now at the stage's name and goes with it.
    SwapFolderIntoPlace(stage.string(), final.string());
    SyncFolder(FRoot);
  } catch (const fs::filesystem_error& e) {
    RemoveTree(stage);
    throw std::runtime_error(e.path1().string() + ": " + e.code().message());
  } catch (...) {
    RemoveTree(stage);
    throw;
  }
  RemoveTree(stage);
  return {id, AutoStartOf(record)};
}

TAlbumLoaded TAlbumStore::Load(const std::string& id) const {
  if (!IsValidCreationId(id)) throw std::runtime_error(albumtext::kInvalidId);
  const fs::path folder = FolderOf(id);
  if (!IsFile(folder / kRecordName)) throw std::runtime_error(albumtext::kNotFound);
  TJson record = ReadRecord(folder);
  if (!HasSchemaOne(record)) throw std::runtime_error(albumtext::kUnsupportedSchema);
  const std::string source = TextMember(record, "sourceFolder", "");
  TAlbumLoaded loaded;
  loaded.sourceFolder = !source.empty() && IsFolder(source) ? source : "";
  loaded.filesDir = (folder / kFilesName).string();
  loaded.record = std::move(record);
  return loaded;
}

void TAlbumStore::Delete(const std::string& id) const {
  if (!IsValidCreationId(id)) throw std::runtime_error(albumtext::kInvalidId);
  const fs::path folder = FolderOf(id);
  if (!IsFolder(folder)) return;
  // Out of sight in one step; removing the files one by one may then take
  // its time, or be cut short, without a half creation ever being listed.
  const fs::path aside = FolderOf(id + ".trash-" + RandomHex6());
  std::error_code error;
  fs::rename(folder, aside, error);
  if (error) throw std::runtime_error(folder.string() + ": " + error.message());
  SyncFolder(FRoot);
  RemoveTree(aside);
}

std::vector<TAlbumSummary> TAlbumStore::List() const {
  std::vector<TAlbumSummary> list;
  ForEachCreation(FRoot, [&](const std::string& name, const fs::path& folder) {
    try {
      const TJson record = ReadRecord(folder);
      if (!record.is_object()) return;
      TAlbumSummary summary;
      summary.id = name;
      summary.name = TextMember(record, "name", name);
      summary.updated = TextMember(record, "updated", "");
      summary.motion = MotionOf(record);
      summary.autoStart = AutoStartOf(record);
      CountPhotos(record, folder, summary);
      summary.cover = CoverDataUrl(folder);
      list.push_back(std::move(summary));
    } catch (const std::exception& e) {
      LogDiagnostic("albumList", "skipped " + name + ": " + e.what());
    }
  });
  return list;
}

std::string TAlbumStore::FindAutoStart() const {
  std::string found;
  ForEachCreation(FRoot, [&](const std::string& name, const fs::path& folder) {
    if (!found.empty()) return;
    try {
      const TJson record = ReadRecord(folder);
      if (record.is_object() && AutoStartOf(record)) found = name;
    } catch (const std::exception&) {
      // an unreadable creation starts nothing
    }
  });
  return found;
}

std::string TAlbumStore::NormaliseAutoStart(const std::string& id, bool enabled) const {
  ForEachCreation(FRoot, [&](const std::string& name, const fs::path& folder) {
    try {
      TJson record = ReadRecord(folder);
      if (!record.is_object() || !AutoStartOf(record)) return;
      if ((name != id) != enabled) return;
      SetLast(record, "autoStart", false);
      WriteRecord(folder, record);
    } catch (const std::exception& e) {
      LogDiagnostic("autostart", "could not clear the mark of " + name + ": " + e.what());
    }
  });
  return FindAutoStart();
}

std::vector<TCreationPick> TAlbumStore::WallpaperPicks() const {
  std::vector<TCreationPick> picks;
  ForEachCreation(FRoot, [&](const std::string& name, const fs::path& folder) {
    if (picks.size() >= kAlbumMaxPicks) return;
    try {
      const TJson record = ReadRecord(folder);
      if (!record.is_object()) throw std::runtime_error("the record is not an object");
      const auto settings = record.find("settings");
      if (settings == record.end() || !settings->is_object()) throw std::runtime_error("no settings");
      if (EqualsNoCase(MotionOf(record), "album")) return;
      picks.push_back({name, TextMember(record, "name", name), AutoStartOf(record)});
    } catch (const std::exception& e) {
      LogDiagnostic("picks", std::string("skipped: ") + e.what());
    }
  });
  return picks;
}

void TAlbumStore::SweepLeftovers() const {
  std::error_code error;
  if (!IsFolder(FRoot)) return;
  fs::directory_iterator it(FRoot, error);
  for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    for (const char* mark : kLeftoverMarks) {
      const std::size_t at = name.find(mark);
      if (at != std::string::npos && IsValidCreationId(name.substr(0, at))) {
        RemoveTree(it->path());
        break;
      }
    }
  }
}

TJson AlbumSummaryJson(const TAlbumSummary& summary) {
  TJson entry = TJson::object();
  entry["id"] = summary.id;
  entry["name"] = summary.name;
  entry["updated"] = summary.updated;
  entry["motion"] = summary.motion;
  entry["photoCount"] = summary.photoCount;
  entry["availableCount"] = summary.availableCount;
  entry["cover"] = summary.cover;
  entry["autoStart"] = summary.autoStart;
  return entry;
}
