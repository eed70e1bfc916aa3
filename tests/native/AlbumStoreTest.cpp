#include "shared/AlbumStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "shared/Base64.h"
#include "shared/FileAccess.h"
#include "tests/native/FakePlatform.h"

namespace {

namespace fs = std::filesystem;

std::string DataUrl(const std::string& bytes, const std::string& head = "data:image/jpeg;base64") {
  return head + "," + Base64Encode(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

TJson Copy(const std::string& name, const std::string& bytes) {
  return TJson{{"name", name}, {"dataUrl", DataUrl(bytes)}};
}

// A record as the page builds it.
TJson Record(const std::string& name, const std::string& motion = "drop") {
  return TJson{{"schema", 1},
               {"name", name},
               {"sourceFolder", nullptr},
               {"photos", TJson::array({TJson{{"name", "0001.jpg"}, {"origin", "copied"}}})},
               {"stars", TJson::array()},
               {"layout", nullptr},
               {"settings", TJson{{"motion", motion}}},
               {"autoStart", false}};
}

class AlbumStoreTest : public ::testing::Test {
 protected:
  TAlbumSaved Save(const TJson& record, const TJson& copies = TJson::array({Copy("0001.jpg", "photo one")}),
                   const std::string& cover = DataUrl("cover")) {
    return store.Save(record.dump(), cover, copies);
  }
  std::string SaveError(const TJson& record, const TJson& copies = TJson::array(), const std::string& cover = "") {
    try {
      store.Save(record.dump(), cover, copies);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "saved";
  }
  TJson Stored(const std::string& id) {
    const auto bytes = ReadFileBytes((root.Path() / "albums" / id / "album.json").string());
    return TJson::parse(SkipUtf8Bom(std::string(bytes.begin(), bytes.end())));
  }
  std::set<std::string> Folders() {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(root.Path() / "albums")) names.insert(item.path().filename());
    return names;
  }
  std::set<std::string> ListedIds() {
    std::set<std::string> ids;
    for (const TAlbumSummary& s : store.List()) ids.insert(s.id);
    return ids;
  }

  TTempDir root;
  TAlbumStore store{(root.Path() / "albums").string()};
};

TEST_F(AlbumStoreTest, SavingWithoutIdMakesANewCreationThatSavingAgainReplacesWholly) {
  const TAlbumSaved first = Save(Record("Trip"), TJson::array({Copy("0001.jpg", "one"), Copy("0002.png", "two")}));
  EXPECT_TRUE(std::regex_match(first.id, std::regex("\\d{8}-\\d{6}-[0-9a-f]{6}"))) << first.id;
  const fs::path folder = root.Path() / "albums" / first.id;
  EXPECT_EQ(ReadText(folder / "files" / "0002.png"), "two");
  EXPECT_EQ(ReadText(folder / "cover.jpg"), "cover");
  const std::string created = Stored(first.id)["created"];

  TJson again = Record("Trip");
  again["id"] = first.id;
  EXPECT_EQ(Save(again, TJson::array({Copy("0001.jpg", "new one")}), "").id, first.id);
  EXPECT_EQ(ReadText(folder / "files" / "0001.jpg"), "new one");
  EXPECT_FALSE(fs::exists(folder / "files" / "0002.png")) << "copies not sent again are gone";
  EXPECT_FALSE(fs::exists(folder / "cover.jpg"));
  EXPECT_EQ(Stored(first.id)["created"], created) << "the first save's time is kept";
  EXPECT_EQ(Folders(), std::set<std::string>{first.id}) << "no stage or backup left";
}

TEST_F(AlbumStoreTest, TheHostsMembersComeLastInTheirOrderAndAPagesCreatedStays) {
  TJson record = Record("  Summer  ");
  record["id"] = "my-id";
  const std::string id = Save(record).id;
  const TJson stored = Stored(id);
  std::vector<std::string> keys;
  for (const auto& item : stored.items()) keys.push_back(item.key());
  const std::vector<std::string> tail(keys.end() - 4, keys.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"id", "name", "updated", "created"}));
  EXPECT_EQ(stored["name"], "Summer");
  EXPECT_TRUE(std::regex_match(stored["updated"].get<std::string>(),
                               std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z")));
  EXPECT_EQ(stored["created"], stored["updated"]);

  record["created"] = "2020-01-01T00:00:00.000Z";
  Save(record);
  EXPECT_EQ(Stored(id)["created"], "2020-01-01T00:00:00.000Z");
}

TEST_F(AlbumStoreTest, RefusesBadRecordsCopiesAndCoversWithoutLeavingAStage) {
  const auto named = [](const std::string& name) { return Record(name); };
  TJson schema2 = Record("x");
  schema2["schema"] = 2;
  TJson badId = Record("x");
  badId["id"] = "a.b";
  TJson manyCopies = TJson::array();
  for (int i = 0; i < 1001; ++i) manyCopies.push_back(Copy("c" + std::to_string(i) + ".jpg", "x"));
  const std::string tooLargeCover = "data:image/jpeg;base64," + std::string(kAlbumMaxCoverBytes / 3 * 4 + 20, 'A');
  const struct {
    const char* what;
    std::string json;
    TJson copies;
    std::string cover;
    std::string error;
  } cases[] = {
      {"empty record", "", TJson::array(), "", "Invalid album JSON"},
      {"not JSON", "{", TJson::array(), "", "Invalid album JSON"},
      {"not an object", "[1]", TJson::array(), "", "Unsupported album schema"},
      {"schema 2", schema2.dump(), TJson::array(), "", "Unsupported album schema"},
      {"only spaces", named(" \t\xE3\x80\x80 ").dump(), TJson::array(), "", "Invalid album name"},
      {"101 characters", named(" " + std::string(101, 'n') + " ").dump(), TJson::array(), "", "Invalid album name"},
      {"bad id", badId.dump(), TJson::array(), "", "Invalid album id"},
      {"copies missing", named("x").dump(), nullptr, "", "Invalid copied photo"},
      {"1001 copies", named("x").dump(), manyCopies, "", "Too many copied photos"},
      {"copy not an object", named("x").dump(), TJson::array({"0001.jpg"}), "", "Invalid copied photo"},
      {"copy leaves the folder", named("x").dump(), TJson::array({Copy("../0001.jpg", "x")}), "",
       "Invalid copied photo name"},
      {"copy with a colon", named("x").dump(), TJson::array({Copy("c:0001.jpg", "x")}), "",
       "Invalid copied photo name"},
      {"copy without ;base64", named("x").dump(),
       TJson::array({TJson{{"name", "0001.jpg"}, {"dataUrl", "data:image/jpeg,abcd"}}}), "", "Invalid image data"},
      {"copy not base64", named("x").dump(),
       TJson::array({TJson{{"name", "0001.jpg"}, {"dataUrl", "data:image/jpeg;base64,a*cd"}}}), "",
       "Invalid image data"},
      {"cover too large", named("x").dump(), TJson::array(), tooLargeCover, "Image data is too large"},
  };
  for (const auto& c : cases) {
    std::string error = "saved";
    try {
      store.Save(c.json, c.cover, c.copies);
    } catch (const std::exception& e) {
      error = e.what();
    }
    EXPECT_EQ(error, c.error) << c.what;
  }
  EXPECT_TRUE(!fs::exists(root.Path() / "albums") || Folders().empty());
}

TEST_F(AlbumStoreTest, AHundredCharacterNameAfterTrimmingIsTaken) {
  EXPECT_NO_THROW(Save(Record("  " + std::string(100, 'n') + "  ")));
  EXPECT_NO_THROW(Save(Record(std::string(100, 'n').replace(0, 1, "\xE6\x97\x85"))));  // a kanji counts as one
}

TEST_F(AlbumStoreTest, ListsCompleteCreationsWithCountsAndSkipsEverythingElse) {
  TTempDir source;
  source.Write("a.jpg", "a");
  source.Write("sub/b.jpg", "b");
  TJson record = Record("Mixed", "sway");
  record["sourceFolder"] = source.Path().string();
  record["photos"] = TJson::array({TJson{{"name", "a.jpg"}, {"origin", "folder"}},
                                   TJson{{"name", "sub/b.jpg"}, {"origin", "folder"}},
                                   TJson{{"name", "gone.jpg"}, {"origin", "folder"}},
                                   TJson{{"name", "0004.jpg"}, {"origin", "copied"}},
                                   TJson{{"name", "0005.jpg"}, {"origin", "copied"}},
                                   TJson{{"name", "../x.jpg"}, {"origin", "copied"}}, "not an object"});
  const std::string mixed = Save(record, TJson::array({Copy("0004.jpg", "4")})).id;
  TJson old = Record("Old album");
  old.erase("settings");
  const std::string album = Save(old, TJson::array(), "").id;

  const fs::path albums = root.Path() / "albums";
  TTempDir scratch;
  fs::create_directories(albums / "no-record");
  fs::create_directories(albums / (mixed + ".stage-00ab12"));
  fs::copy_file(albums / mixed / "album.json", albums / (mixed + ".stage-00ab12") / "album.json");
  fs::create_directories(albums / (mixed + ".backup-00ab12"));
  fs::copy_file(albums / mixed / "album.json", albums / (mixed + ".backup-00ab12") / "album.json");
  fs::create_directories(albums / "broken");
  WriteFileReplacing((albums / "broken" / "album.json").string(), Bytes("{ not json"));
  fs::create_directories(albums / "no-photos");
  WriteFileReplacing((albums / "no-photos" / "album.json").string(), Bytes(R"({"schema":1,"name":"n"})"));

  std::map<std::string, TAlbumSummary> byId;
  for (TAlbumSummary& s : store.List()) byId[s.id] = s;
  ASSERT_EQ(byId.size(), 2u);
  const TAlbumSummary& m = byId[mixed];
  EXPECT_EQ(m.name, "Mixed");
  EXPECT_EQ(m.motion, "sway");
  EXPECT_EQ(m.photoCount, 5);
  EXPECT_EQ(m.availableCount, 3);
  EXPECT_EQ(m.cover, DataUrl("cover"));
  EXPECT_FALSE(m.updated.empty());
  EXPECT_EQ(byId[album].motion, "album") << "a creation saved before the motion was recorded is an album";
  EXPECT_EQ(byId[album].cover, "");

  // The source folder gone: none of its photos can be read any more.
  fs::remove_all(source.Path());
  EXPECT_EQ(store.List().size(), 2u);
  for (const TAlbumSummary& s : store.List()) {
    if (s.id == mixed) {
      EXPECT_EQ(s.availableCount, 1);
    }
  }
}

TEST_F(AlbumStoreTest, LoadsARecordWithItsFoldersAndRefusesWhatItCannotOpen) {
  TTempDir source;
  TJson record = Record("Open me");
  record["sourceFolder"] = source.Path().string();
  const std::string id = Save(record).id;
  const TAlbumLoaded loaded = store.Load(id);
  EXPECT_EQ(loaded.record["name"], "Open me");
  EXPECT_EQ(loaded.sourceFolder, source.Path().string());
  EXPECT_EQ(loaded.filesDir, (root.Path() / "albums" / id / "files").string());

  fs::remove_all(source.Path());
  EXPECT_EQ(store.Load(id).sourceFolder, "") << "a source folder that is gone serves nothing";

  const auto loadError = [&](const std::string& what) {
    try {
      store.Load(what);
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
    return std::string("loaded");
  };
  EXPECT_EQ(loadError("../" + id), "Invalid album id");
  EXPECT_EQ(loadError("nothing-here"), "Album not found");
  WriteFileReplacing((root.Path() / "albums" / id / "album.json").string(), Bytes(R"({"schema":2})"));
  EXPECT_EQ(loadError(id), "Unsupported album schema");
}

TEST_F(AlbumStoreTest, TheSignInMarkStaysOnOneCreationAndGoesWithItsDeletion) {
  TJson first = Record("First");
  first["autoStart"] = true;
  const TAlbumSaved a = Save(first);
  EXPECT_TRUE(a.autoStart);
  EXPECT_EQ(store.NormaliseAutoStart(a.id, true), a.id);

  TJson second = Record("Second");
  second["autoStart"] = true;
  const TAlbumSaved b = Save(second);
  EXPECT_EQ(store.NormaliseAutoStart(b.id, true), b.id);
  EXPECT_EQ(Stored(a.id)["autoStart"], false) << "marking a second creation clears the first";
  EXPECT_EQ(Stored(b.id)["autoStart"], true);

  EXPECT_EQ(store.NormaliseAutoStart(b.id, false), "");
  EXPECT_EQ(Stored(b.id)["autoStart"], false);

  Stored(b.id);
  TJson again = Stored(b.id);
  again["autoStart"] = true;
  Save(again);
  EXPECT_EQ(store.FindAutoStart(), b.id);
  store.Delete(b.id);
  EXPECT_EQ(store.FindAutoStart(), "") << "deleting the only auto-start creation leaves none";
  EXPECT_EQ(ListedIds(), std::set<std::string>{a.id});
}

TEST_F(AlbumStoreTest, DeletingRefusesABadIdAndToleratesAMissingFolder) {
  EXPECT_THROW(store.Delete("../x"), std::runtime_error);
  EXPECT_NO_THROW(store.Delete("never-saved"));
  const std::string id = Save(Record("Gone")).id;
  store.Delete(id);
  EXPECT_TRUE(Folders().empty());
}

TEST_F(AlbumStoreTest, WallpaperPicksOfferUpToTwentyScatterCreations) {
  TJson noSettings = Record("No settings");
  noSettings.erase("settings");
  Save(noSettings);
  Save(Record("An album", "Album"));
  TJson marked = Record("Marked", "sway");
  marked["autoStart"] = true;
  const std::string markedId = Save(marked).id;
  for (int i = 0; i < 25; ++i) Save(Record("Pile " + std::to_string(i)));
  const std::vector<TCreationPick> picks = store.WallpaperPicks();
  EXPECT_EQ(picks.size(), 20u);
  for (const TCreationPick& p : picks) {
    EXPECT_NE(p.label, "No settings");
    EXPECT_NE(p.label, "An album");
    EXPECT_EQ(p.autoStart, p.id == markedId);
  }
}

TEST_F(AlbumStoreTest, SweepingRemovesOnlyTheLeftoversOfInterruptedSaves) {
  const std::string id = Save(Record("Kept")).id;
  const fs::path albums = root.Path() / "albums";
  for (const char* name : {".stage-0a0b0c", ".backup-0a0b0c", ".trash-0a0b0c"})
    fs::create_directories(albums / (id + name) / "files");
  fs::create_directories(albums / "other.folder");
  store.SweepLeftovers();
  EXPECT_EQ(Folders(), (std::set<std::string>{id, "other.folder"}));
}

TEST(AlbumDataUrl, DecodesBase64DataUrlsWithinTheirLimit) {
  EXPECT_EQ(DecodeImageDataUrl("data:image/png;BASE64,aGk=", 2), Bytes("hi"));
  EXPECT_EQ(DecodeImageDataUrl("data:;base64,", 0), Bytes(""));
  const auto error = [](const std::string& url, std::size_t limit) {
    try {
      DecodeImageDataUrl(url, limit);
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
    return std::string("decoded");
  };
  EXPECT_EQ(error("aGk=", 10), "Invalid image data");
  EXPECT_EQ(error("data:image/png,aGk=", 10), "Invalid image data");
  EXPECT_EQ(error("data:image/png;base64,aGk=", 1), "Image data is too large");
  EXPECT_EQ(error("data:image/png;base64," + std::string(40, 'A'), 12), "Image data is too large");
}

}  // namespace
