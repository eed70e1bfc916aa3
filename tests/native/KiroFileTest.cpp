#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>

#include "shared/KiroFile.h"
#include "tests/native/FakePlatform.h"
#include "tests/native/KiroTestSink.h"
#include "tests/native/ToolRun.h"

namespace {

namespace fs = std::filesystem;

constexpr char kBom[] = "\xEF\xBB\xBF";
const std::string kData = R"({"drawList":[],"w":1920,"h":1080,"speed":1,"motion":"drop","holdSec":30,"title":"夏の海"})";

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 2654435761u + seed) >> 13);
  return bytes;
}

std::vector<int> Indexes(const std::map<int, std::vector<std::uint8_t>>& photos) {
  std::vector<int> indexes;
  for (const auto& [index, bytes] : photos) indexes.push_back(index);
  return indexes;
}

std::string EntryText(const std::string& package, const std::string& name) {
  const TZipFileSource source(package);
  for (const TZipEntry& entry : ReadZipDirectory(source, {1200, 4194304})) {
    if (entry.name == name) {
      const auto bytes = ReadZipEntry(source, entry, [](std::uint64_t) {});
      return std::string(bytes.begin(), bytes.end());
    }
  }
  return "<missing " + name + ">";
}

TEST(KiroNames, ClassifyEntry) {
  struct TCase {
    std::string name;
    TKiroEntryKind kind;
    int index;
  };
  const TCase cases[] = {
      {"data.json", ekData, -1},
      {"DATA.Json", ekData, -1},
      {"meta.json", ekMeta, -1},
      {"META.JSON", ekMeta, -1},
      {"photos/0017.jpg", ekPhoto, 17},
      {"photos/17.jpg", ekPhoto, 17},
      {"photos/0001.JPG", ekPhoto, 1},
      {"photos/0.jpg", ekPhoto, 0},
      {"photos/999.jpg", ekPhoto, 999},
      {"photos/0000000000000999.jpg", ekPhoto, 999},
      {"photos/1000.jpg", ekNone, -1},
      {"photos/99999999999999999999.jpg", ekNone, -1},
      {"Photos/0001.jpg", ekNone, -1},
      {"photos/sub/0001.jpg", ekNone, -1},
      {"photos/0001.png", ekNone, -1},
      {"photos/0001.jpeg", ekNone, -1},
      {"photos/.jpg", ekNone, -1},
      {"photos/", ekNone, -1},
      {"photos/+1.jpg", ekNone, -1},
      {"photos/-1.jpg", ekNone, -1},
      {"photos/ 1.jpg", ekNone, -1},
      {"photos/0x1.jpg", ekNone, -1},
      {"sub/data.json", ekNone, -1},
      {"data.json/", ekNone, -1},
      {"", ekReject, -1},
      {"../data.json", ekReject, -1},
      {"photos/../0001.jpg", ekReject, -1},
      {"photos/0001..jpg", ekReject, -1},
      {"/data.json", ekReject, -1},
      {"\\data.json", ekReject, -1},
      {"photos\\0001.jpg", ekReject, -1},
      {"C:/data.json", ekReject, -1},
      {"photos/0001.jpg:hidden", ekReject, -1},
      {std::string("photos/0001.jpg\0.txt", 20), ekReject, -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TKiroEntryClass result = ClassifyEntry(c.name);
    EXPECT_EQ(result.kind, c.kind);
    if (c.kind == ekPhoto) {
      EXPECT_EQ(result.photoIndex, c.index);
    }
  }
}

// Every package of scripts/make-hostile-kiro.py meets the outcome its table
// gives; a refused one never reaches a commit, and a generation that was
// begun for it is dropped again.
TEST(KiroImport, HostileAndValidPackagesOfTheTable) {
  const TTempDir dir;
  const TToolRun made = RunTool("python3 " TESSARY_SOURCE_DIR "/scripts/make-hostile-kiro.py " + ShellQuoted(dir.Path()));
  ASSERT_EQ(made.code, 0) << made.output;
  const nlohmann::json table = nlohmann::json::parse(ReadText(dir.Path() / "cases.json"));
  ASSERT_FALSE(table.empty());
  for (const nlohmann::json& c : table) {
    const std::string file = c["file"];
    SCOPED_TRACE(file);
    TMemoryKiroSink sink;
    const TKiroResult result = ImportKiro((dir.Path() / file).string(), sink);
    if (c["error"] == "") {
      EXPECT_TRUE(result.ok) << result.error << " / " << result.detail;
      EXPECT_EQ(sink.data, c["data"].get<std::string>());
      EXPECT_EQ(Indexes(sink.photos), c["photos"].get<std::vector<int>>());
      EXPECT_EQ(sink.aborts, 0);
      // The hand-made archives the reader accepts are archives to others too.
      const TToolRun tested = RunTool("unzip -tq " + ShellQuoted(dir.Path() / file));
      EXPECT_EQ(tested.code, 0) << tested.output;
    } else {
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.error, c["error"].get<std::string>());
      EXPECT_NE(result.detail.find(c["detail"].get<std::string>()), std::string::npos) << result.detail;
      EXPECT_FALSE(sink.committed);
      EXPECT_EQ(sink.aborts, sink.begins);
    }
  }
}

TEST(KiroRoundTrip, WhatIsWrittenReadsBackTheSame) {
  const TTempDir dir;
  const std::string package = (dir.Path() / "wall.kiro").string();
  const fs::path photoFile = dir.Write("handoff/0000.jpg", std::string(300000, 'j'));
  std::vector<TKiroPhoto> photos = {{999, "", Pattern(70000, 3)}, {0, photoFile.string(), {}}, {17, "", Pattern(5, 9)}};
  const TKiroResult written = WriteKiro(package, kData, photos);
  ASSERT_TRUE(written.ok) << written.error;

  TMemoryKiroSink sink;
  const TKiroResult read = ImportKiro(package, sink);
  ASSERT_TRUE(read.ok) << read.error << " / " << read.detail;
  EXPECT_EQ(sink.data, kData);
  ASSERT_EQ(Indexes(sink.photos), (std::vector<int>{0, 17, 999}));
  EXPECT_EQ(sink.photos[0], std::vector<std::uint8_t>(300000, 'j'));
  EXPECT_EQ(sink.photos[17], Pattern(5, 9));
  EXPECT_EQ(sink.photos[999], Pattern(70000, 3));

  // The entries in the writer's order, all deflated; description and play data with a byte-order mark.
  const TZipFileSource source(package);
  std::vector<std::string> names;
  for (const TZipEntry& entry : ReadZipDirectory(source, {1200, 4194304})) {
    names.push_back(entry.name);
    EXPECT_EQ(entry.method, 8) << entry.name;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"meta.json", "data.json", "photos/0000.jpg", "photos/0017.jpg",
                                             "photos/0999.jpg"}));
  EXPECT_EQ(EntryText(package, "data.json"), kBom + kData);
  const std::regex meta(
      "\xEF\xBB\xBF\\{\"format\":\"tessary-live\",\"version\":1,\"created\":\""
      "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)\"\\}");
  EXPECT_TRUE(std::regex_match(EntryText(package, "meta.json"), meta)) << EntryText(package, "meta.json");
}

TEST(KiroRoundTrip, AHandoffFolderBecomesAPackage) {
  const TTempDir dir;
  const std::string dataBytes = kBom + kData;
  const fs::path data = dir.Write("g-abc123/data.json", dataBytes);
  const fs::path photos = dir.Path() / "g-abc123" / "photos";
  dir.Write("g-abc123/photos/0000.jpg", "zero");
  dir.Write("g-abc123/photos/0007.jpg", "seven");
  // Not what the store writes: a second name for index 7 (the first in name
  // order wins), and files the reader would not take as photos.
  dir.Write("g-abc123/photos/7.jpg", "another seven");
  dir.Write("g-abc123/photos/0003.png", "png");
  dir.Write("g-abc123/photos/notes.txt", "notes");
  fs::create_directories(photos / "0004.jpg");

  const std::string package = (dir.Path() / "out.kiro").string();
  const TKiroResult written = WriteKiroFromHandoff(package, data.string(), photos.string());
  ASSERT_TRUE(written.ok) << written.error;
  EXPECT_EQ(EntryText(package, "data.json"), dataBytes);
  TMemoryKiroSink sink;
  ASSERT_TRUE(ImportKiro(package, sink).ok);
  EXPECT_EQ(sink.data, kData);
  EXPECT_EQ(Indexes(sink.photos), (std::vector<int>{0, 7}));
  EXPECT_EQ(std::string(sink.photos[7].begin(), sink.photos[7].end()), "seven");

  // Without its photos folder a handoff still makes a package (the reader will refuse it).
  EXPECT_TRUE(WriteKiroFromHandoff(package, data.string(), (dir.Path() / "none").string()).ok);

  for (const std::string& missing : {std::string(), (dir.Path() / "g-none" / "data.json").string()}) {
    const TKiroResult result = WriteKiroFromHandoff(package, missing, photos.string());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "ライブ壁紙の引き渡しがありません");
  }
  EXPECT_EQ(WriteKiro(package, kBom, std::vector<TKiroPhoto>{}).error, "ライブ壁紙の引き渡しがありません");
}

TEST(KiroExport, AFailedExportKeepsTheFileThatWasThere) {
  const TTempDir dir;
  const fs::path package = dir.Write("wall.kiro", "the earlier package");
  const std::string missingPhoto = (dir.Path() / "gone.jpg").string();
  const TKiroResult result = WriteKiro(package.string(), kData, {{0, missingPhoto, {}}});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, missingPhoto + ": No such file or directory");
  EXPECT_EQ(ReadText(package), "the earlier package");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);

  const TKiroResult badIndex = WriteKiro(package.string(), kData, {{1000, "", {1, 2}}});
  EXPECT_FALSE(badIndex.ok);
  EXPECT_EQ(ReadText(package), "the earlier package");
  const TKiroResult twice = WriteKiro(package.string(), kData, {{3, "", {1}}, {3, "", {2}}});
  EXPECT_FALSE(twice.ok);

  const std::string nowhere = (dir.Path() / "no-such-folder" / "wall.kiro").string();
  EXPECT_EQ(WriteKiro(nowhere, kData, {{0, "", {1}}}).error, nowhere + ": No such file or directory");
}

TEST(KiroImport, AHandoffThatFailsDropsTheNewGeneration) {
  const TTempDir dir;
  const std::string package = (dir.Path() / "wall.kiro").string();
  ASSERT_TRUE(WriteKiro(package, kData, {{0, "", {1, 2, 3}}, {4, "", {5}}}).ok);
  struct TCase {
    bool begin, photo, commit;
    std::string error;
  };
  const TCase cases[] = {
      {false, true, true, "引き渡しフォルダーを用意できませんでした"},
      {true, false, true, "写真を書き出せませんでした"},
      {true, true, false, "引き渡しを確定できませんでした"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.error);
    TMemoryKiroSink sink;
    sink.beginSucceeds = c.begin;
    sink.photoSucceeds = c.photo;
    sink.commitSucceeds = c.commit;
    const TKiroResult result = ImportKiro(package, sink);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(sink.aborts, 1);
    EXPECT_FALSE(sink.committed);
  }
}

TEST(KiroImport, AFileThatCannotBeReadGivesTheSystemsText) {
  const TTempDir dir;
  TMemoryKiroSink sink;
  const std::string missing = (dir.Path() / "none.kiro").string();
  EXPECT_EQ(ImportKiro(missing, sink).error, missing + ": No such file or directory");
  EXPECT_EQ(ImportKiro(dir.Path().string(), sink).error, dir.Path().string() + ": Is a directory");
  EXPECT_EQ(sink.begins, 0);
}

}  // namespace
