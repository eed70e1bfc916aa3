#include "shared/KiroFile.h"

#include <set>

#include "shared/TextUtil.h"
#include "shared/Utf8.h"

namespace {

constexpr std::uint64_t kMaxPackageBytes = 262144000;
constexpr std::uint32_t kMaxEntries = 1200;
constexpr std::uint32_t kMaxDirectoryBytes = 4194304;
// Unpacked, declared and actually read: one entry, and all together.
constexpr std::uint64_t kMaxEntryBytes = 31457280;
constexpr std::uint64_t kMaxTotalBytes = 209715200;

// The import's messages, as the tray shows them behind "Could not open this file: ".
constexpr char kNotKiro[] = "ライブ壁紙のファイルではありません";
constexpr char kUnsupported[] = "このファイルには対応していません";
constexpr char kTooManyEntries[] = "ファイルの中身が多すぎます";
constexpr char kDirectoryTooLarge[] = "ファイルの目録が大きすぎます";
constexpr char kCorrupt[] = "ファイルが壊れています";
constexpr char kFileTooLarge[] = "ファイルが大きすぎます";
constexpr char kForbiddenEntry[] = "このファイルには不正な項目が含まれています";
constexpr char kEntryTooLarge[] = "中の画像が大きすぎます";
constexpr char kTotalTooLarge[] = "ファイル全体が大きすぎます";
constexpr char kBeginFailed[] = "引き渡しフォルダーを用意できませんでした";
constexpr char kDuplicatePhoto[] = "写真の番号が重複しています";
constexpr char kDuplicateData[] = "再生データが重複しています";
constexpr char kPhotoWriteFailed[] = "写真を書き出せませんでした";
constexpr char kNoData[] = "再生データ（data.json）が入っていません";
constexpr char kNoPhoto[] = "写真が1枚も入っていません";
constexpr char kCommitFailed[] = "引き渡しを確定できませんでした";

struct TKiroFailure {
  const char* message;
  std::string detail;
};

[[noreturn]] void Fail(const char* message, std::string detail) { throw TKiroFailure{message, std::move(detail)}; }

const char* MessageFor(TZipFault fault) {
  switch (fault) {
    case zfNotZip: return kNotKiro;
    case zfUnsupported: return kUnsupported;
    case zfTooManyEntries: return kTooManyEntries;
    case zfDirectoryTooLarge: return kDirectoryTooLarge;
    case zfCorrupt: break;
  }
  return kCorrupt;
}

bool IsDigits(std::string_view text) {
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return !text.empty();
}

// The data entry's bytes as text: malformed UTF-8 becomes U+FFFD, as a
// decoder would make it, and one leading byte-order mark goes.
std::string DataText(const std::vector<std::uint8_t>& bytes) {
  const std::string raw(bytes.begin(), bytes.end());
  std::string text;
  text.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size();) {
    const std::size_t start = i;
    const char32_t cp = NextCodePoint(raw, i);
    const bool malformed = cp == kReplacementCharacter && i - start == 1;
    text += malformed ? std::string("\xEF\xBF\xBD") : raw.substr(start, i - start);
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  return text;
}

struct TPlannedEntry {
  const TZipEntry* entry;
  TKiroEntryClass kind;
};

// The checks that need no unpacking, made before a handoff generation is
// begun: names, declared sizes, duplicates and the entries that must be there.
// Returns the data and photo entries in archive order.
std::vector<TPlannedEntry> PlanImport(const std::vector<TZipEntry>& entries) {
  std::vector<TPlannedEntry> plan;
  std::uint64_t declared = 0;
  for (const TZipEntry& entry : entries) {
    const TKiroEntryClass kind = ClassifyEntry(entry.name);
    if (kind.kind == ekReject) Fail(kForbiddenEntry, "entry " + QuotedEntryName(entry.name) + " has a forbidden name");
    if (kind.kind != ekData && kind.kind != ekPhoto) continue;
    if (entry.size > kMaxEntryBytes) {
      Fail(kEntryTooLarge, "entry " + QuotedEntryName(entry.name) + " declares " + std::to_string(entry.size) + " bytes");
    }
    declared += entry.size;
    if (declared > kMaxTotalBytes) Fail(kTotalTooLarge, "entries declare more than the total limit");
    plan.push_back({&entry, kind});
  }

  bool hasData = false;
  std::set<int> photoIndexes;
  for (const TPlannedEntry& planned : plan) {
    if (planned.kind.kind == ekData) {
      if (hasData) Fail(kDuplicateData, "a second data entry " + QuotedEntryName(planned.entry->name));
      hasData = true;
    } else if (!photoIndexes.insert(planned.kind.photoIndex).second) {
      Fail(kDuplicatePhoto, "a second entry for photo " + std::to_string(planned.kind.photoIndex));
    }
  }
  // Names that differ only in letter case would be one file on many systems.
  std::set<std::string> folded;
  for (const TZipEntry& entry : entries) {
    if (!folded.insert(ToLowerAscii(entry.name)).second) {
      Fail(kForbiddenEntry, "entry " + QuotedEntryName(entry.name) + " repeats a name when letter case is ignored");
    }
  }
  if (!hasData) Fail(kNoData, "no data entry");
  if (photoIndexes.empty()) Fail(kNoPhoto, "no photo entry");
  return plan;
}

void Unpack(const IZipSource& source, const std::vector<TPlannedEntry>& plan, IKiroSink& sink) {
  std::string dataText;
  std::uint64_t totalRead = 0;
  for (const TPlannedEntry& planned : plan) {
    const TZipEntry& entry = *planned.entry;
    // The limits hold against what really unpacks, not only the declared sizes.
    const std::vector<std::uint8_t> bytes = ReadZipEntry(source, entry, [&](std::uint64_t unpacked) {
      if (unpacked > kMaxEntryBytes) {
        Fail(kEntryTooLarge, "entry " + QuotedEntryName(entry.name) + " unpacks to more than it may");
      }
      if (totalRead + unpacked > kMaxTotalBytes) {
        Fail(kTotalTooLarge, "entries unpack to more than the total limit");
      }
    });
    totalRead += bytes.size();
    if (planned.kind.kind == ekData) {
      dataText = DataText(bytes);
    } else if (!sink.WritePhoto(planned.kind.photoIndex, bytes)) {
      Fail(kPhotoWriteFailed, "the handoff refused photo " + std::to_string(planned.kind.photoIndex));
    }
  }
  if (dataText.empty()) Fail(kNoData, "the data entry is empty");
  if (!sink.Commit(dataText)) Fail(kCommitFailed, "the handoff refused the commit");
}

}  // namespace

TKiroEntryClass ClassifyEntry(std::string_view name) {
  // No name is ever used as a path, but one that could climb out of a folder,
  // name a drive or mean two things on two systems marks a hostile package.
  if (name.empty() || name.front() == '/' || name.find("..") != std::string_view::npos ||
      name.find_first_of(std::string_view(":\\\0", 3)) != std::string_view::npos) {
    return {ekReject};
  }
  if (EqualsNoCase(name, "data.json")) return {ekData};
  if (EqualsNoCase(name, "meta.json")) return {ekMeta};
  constexpr std::string_view kPrefix = "photos/";
  if (!name.starts_with(kPrefix)) return {};
  const std::string_view file = name.substr(kPrefix.size());
  if (file.find('/') != std::string_view::npos || !EndsWithNoCase(file, ".jpg")) return {};
  std::string_view digits = file.substr(0, file.size() - 4);
  if (!IsDigits(digits)) return {};
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  if (digits.size() > 3) return {};
  int index = 0;
  for (const char c : digits) index = index * 10 + (c - '0');
  return {ekPhoto, index};
}

TKiroResult ImportKiro(const std::string& path, IKiroSink& sink) {
  try {
    const TZipFileSource source(path);
    return ImportKiro(source, sink);
  } catch (const std::exception& e) {
    return {false, e.what(), e.what()};
  }
}

TKiroResult ImportKiro(const IZipSource& source, IKiroSink& sink) {
  TKiroResult result;
  bool begun = false;
  try {
    if (source.Size() > kMaxPackageBytes) {
      Fail(kFileTooLarge, "the file has " + std::to_string(source.Size()) + " bytes");
    }
    const std::vector<TZipEntry> entries = ReadZipDirectory(source, {kMaxEntries, kMaxDirectoryBytes});
    const std::vector<TPlannedEntry> plan = PlanImport(entries);
    begun = true;
    if (!sink.Begin()) Fail(kBeginFailed, "the handoff could not begin a generation");
    Unpack(source, plan, sink);
    return {true, "", ""};
  } catch (const TKiroFailure& failure) {
    result = {false, failure.message, failure.detail};
  } catch (const TZipError& e) {
    result = {false, MessageFor(e.Fault()), e.what()};
  } catch (const std::exception& e) {
    result = {false, e.what(), e.what()};
  } catch (...) {
    result = {false, "unknown error", "unknown error"};
  }
  if (begun) {
    try {
      sink.Abort();
    } catch (...) {
      result.detail += "; dropping the new generation failed too";
    }
  }
  return result;
}
