#include "shared/LiveHandoff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>

#include "tests/native/FakePlatform.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Bytes(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i % 251);
  return bytes;
}

// Everything a reader of the active generation can see.
struct TActiveView {
  std::string dir;
  std::string data;
  std::vector<std::uint8_t> photo0;
  bool operator==(const TActiveView&) const = default;
};

class LiveHandoffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_DATA_HOME");
    FOldDataHome = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("XDG_DATA_HOME", FHome.Path().c_str(), 1);
    FRoot = FHome.Path() / "Tessary" / "live";
  }
  void TearDown() override {
    AbortHandoff();
    if (FOldDataHome) setenv("XDG_DATA_HOME", FOldDataHome->c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
  }

  // A committed hand-over with photos 0 and 7.
  void CommitOne(const std::string& data, std::uint8_t seed = 1) {
    ASSERT_TRUE(BeginHandoff());
    ASSERT_TRUE(WriteHandoffPhoto(0, Bytes(1000, seed)));
    ASSERT_TRUE(WriteHandoffPhoto(7, Bytes(500, seed)));
    ASSERT_TRUE(CommitHandoff(data));
  }

  TActiveView Active() {
    TActiveView view{ActiveGenerationDir(), {}, {}};
    ReadHandoffData(view.data);
    ReadHandoffPhoto(0, view.photo0);
    return view;
  }

  std::set<std::string> RootEntries() {
    std::set<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(FRoot, error), end; !error && it != end; it.increment(error))
      names.insert(it->path().filename().string());
    return names;
  }

  void WritePointer(const std::string& content) {
    FHome.Write("Tessary/live/active.txt", content);
  }

  TTempDir FHome;
  fs::path FRoot;
  std::optional<std::string> FOldDataHome;
};

TEST_F(LiveHandoffTest, SelfTestPassesAndLeavesTheStoreCleared) {
  const TJson result = RunHandoffSelfTest();
  const std::vector<std::string> order = {
      "begin", "notReadyBeforeCommit", "writePhoto", "writePhoto7", "commit", "readyAfterCommit", "readData",
      "readPhoto", "missingPhotoFails", "rejectHugePhoto", "rejectNegative", "rejectTooLarge",
      "failedCommitRejected", "previousStillReadable", "recommit", "generationSwitched", "oldGenerationSwept",
      "noTempLeft", "updateData", "updateReadBack", "updateKeepsGeneration", "updateKeepsPhoto",
      "updateNoTempLeft", "doubleBeginLeavesNothing", "doubleBeginKeepsActive", "updateRejectedWhenEmpty",
      "clearedRoot", "notReadyAfterClear", "root"};
  std::vector<std::string> members;
  for (const auto& item : result.items()) members.push_back(item.key());
  EXPECT_EQ(members, order);
  for (const auto& item : result.items())
    if (item.key() != "root") {
      EXPECT_EQ(item.value(), true) << item.key();
    }
  EXPECT_EQ(result["root"], FRoot.string());
  EXPECT_FALSE(fs::exists(FRoot));
}

TEST_F(LiveHandoffTest, ACommitMakesTheGenerationActiveAndSweepsTheRest) {
  CommitOne("{\"a\":1}");
  const std::string first = ActiveGenerationDir();
  // Left by a crash: a generation folder and some other folder; files stay.
  FHome.Write("Tessary/live/g-00dead/photos/0000.jpg", "x");
  FHome.Write("Tessary/live/junk/file", "x");
  FHome.Write("Tessary/live/notes.txt", "x");
  CommitOne("{\"a\":2}", 9);

  const std::string second = ActiveGenerationDir();
  EXPECT_NE(second, first);
  EXPECT_EQ(RootEntries(), (std::set<std::string>{"active.txt", "notes.txt", fs::path(second).filename().string()}));
  // The pointer file: a byte order mark and the folder's name, nothing else.
  EXPECT_EQ(ReadText(FRoot / "active.txt"), "\xEF\xBB\xBF" + fs::path(second).filename().string());
  EXPECT_EQ(ReadText(fs::path(second) / "data.json"), "\xEF\xBB\xBF{\"a\":2}");
  EXPECT_EQ(Active().photo0, Bytes(1000, 9));

  std::vector<std::uint8_t> photo;
  EXPECT_TRUE(ReadHandoffPhoto(7, photo));
  for (int missing : {1, 6, 8, 500}) EXPECT_FALSE(ReadHandoffPhoto(missing, photo)) << missing;
  EXPECT_EQ(ActivePhotoPath(7), (fs::path(second) / "photos" / "0007.jpg").string());
  EXPECT_EQ(ActivePhotoPath(1000), "");
  EXPECT_EQ(ActivePhotoPath(-1), "");
}

TEST_F(LiveHandoffTest, RefusedInputLeavesTheActiveGenerationUntouched) {
  struct TCase {
    const char* name;
    std::function<bool()> run;   // the step that must fail
    const char* logLine;
  };
  const std::string longData(kHandoffMaxDataChars + 1, ' ');
  const TCase cases[] = {
      {"photo -1", [] { return WriteHandoffPhoto(-1, Bytes(10, 0)); },
       "Tessary [handoff] photo failed: photo index -1 is outside 0 to 999"},
      {"photo 1000", [] { return WriteHandoffPhoto(1000, Bytes(10, 0)); },
       "Tessary [handoff] photo failed: photo index 1000 is outside 0 to 999"},
      {"empty photo", [] { return WriteHandoffPhoto(3, {}); }, "Tessary [handoff] photo failed: photo 3 is empty"},
      {"photo over 30 MiB", [] { return WriteHandoffPhoto(3, Bytes(kHandoffMaxPhotoBytes + 1, 0)); },
       "Tessary [handoff] photo failed: photo 3 has 31457281 bytes, more than 31457280"},
      {"empty play data", [] { return CommitHandoff(""); }, "Tessary [handoff] commit failed: the play data is empty"},
      {"play data of 41,943,041 characters", [&] { return CommitHandoff(longData); },
       "Tessary [handoff] commit failed: the play data is longer than 41943040 characters"},
  };
  CommitOne("{\"keep\":true}");
  const TActiveView before = Active();
  const std::set<std::string> entries = RootEntries();
  for (const TCase& c : cases) {
    ASSERT_TRUE(BeginHandoff());
    ASSERT_TRUE(WriteHandoffPhoto(0, Bytes(10, 5)));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(c.run()) << c.name;
    // A refused photo fails the whole hand-over; a commit that follows it
    // reports that and discards the generation.
    const bool failedCommit = CommitHandoff("{\"new\":true}");
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(failedCommit) << c.name;
    EXPECT_NE(log.find(c.logLine), std::string::npos) << c.name << "\n" << log;
    EXPECT_EQ(Active(), before) << c.name;
    EXPECT_EQ(RootEntries(), entries) << c.name;
  }
}

TEST_F(LiveHandoffTest, AllPhotosOfOneHandOverStayWithin200MiB) {
  CommitOne("{\"keep\":true}");
  const TActiveView before = Active();
  ASSERT_TRUE(BeginHandoff());
  const std::vector<std::uint8_t> full = Bytes(kHandoffMaxPhotoBytes, 3);
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(WriteHandoffPhoto(i, full)) << i;   // 180 MiB
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(WriteHandoffPhoto(6, Bytes(20 * 1024 * 1024 + 1, 3)));
  EXPECT_FALSE(CommitHandoff("{\"new\":true}"));
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("photo failed: photo 6 would make the hand-over larger than 209715200 bytes"),
            std::string::npos)
      << log;
  EXPECT_EQ(Active(), before);
}

TEST_F(LiveHandoffTest, APointerThatNamesNoGenerationMeansNoActiveHandOver) {
  struct TCase {
    const char* content;
    const char* logPart;   // nullptr: no line
  };
  const TCase cases[] = {
      {"../x", "\"../x\" does not name a generation folder"},
      {"g-zzz", "\"g-zzz\" does not name a generation folder"},
      {"g-00abcd\\..", "does not name a generation folder"},
      {"/tmp/g-00abcd", "does not name a generation folder"},
      {"G-00ABCD", "does not name a generation folder"},
      {"g-00ab:d", "does not name a generation folder"},
      {"", "\"\" does not name a generation folder"},
      {"g-123456", "the generation folder \"g-123456\" is missing"},
  };
  // Folders with those names exist, so only the name rule can refuse them.
  for (const char* folder : {"x/photos", "g-zzz/photos", "G-00ABCD/photos", "g-00abcd/photos"})
    fs::create_directories(FRoot / folder);
  FHome.Write("Tessary/live/x/data.json", "{}");
  FHome.Write("Tessary/live/g-zzz/data.json", "{}");
  for (const TCase& c : cases) {
    WritePointer(c.content);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ActiveGenerationDir(), "") << c.content;
    EXPECT_FALSE(IsHandoffReady()) << c.content;
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find(std::string("Tessary [handoff] active read failed: ") + (FRoot / "active.txt").string()),
              std::string::npos)
        << c.content << "\n" << log;
    EXPECT_NE(log.find(c.logPart), std::string::npos) << c.content << "\n" << log;
  }
  // The mark and white space around the name are allowed.
  WritePointer("\xEF\xBB\xBF  g-00abcd \r\n");
  EXPECT_EQ(ActiveGenerationDir(), (FRoot / "g-00abcd").string());
  EXPECT_FALSE(IsHandoffReady());  // no data.json yet
}

TEST_F(LiveHandoffTest, WithoutAStoreEverythingReadsAsMissingAndSilently) {
  ::testing::internal::CaptureStderr();
  std::string data;
  std::vector<std::uint8_t> photo;
  EXPECT_EQ(ActiveGenerationDir(), "");
  EXPECT_EQ(ActiveDataPath(), "");
  EXPECT_EQ(ActivePhotosDir(), "");
  EXPECT_FALSE(IsHandoffReady());
  EXPECT_FALSE(ReadHandoffData(data));
  EXPECT_FALSE(ReadHandoffPhoto(0, photo));
  EXPECT_FALSE(WriteHandoffPhoto(0, Bytes(10, 0)));  // nothing pending
  EXPECT_FALSE(CommitHandoff("{}"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(UpdateHandoffData("{}"));
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("update failed: there is no active hand-over"),
            std::string::npos);
}

TEST_F(LiveHandoffTest, TwoBeginsLeaveOnlyTheSecondPendingGeneration) {
  CommitOne("{}");
  const std::set<std::string> committed = RootEntries();
  ASSERT_TRUE(BeginHandoff());
  ASSERT_TRUE(WriteHandoffPhoto(0, Bytes(10, 0)));
  ASSERT_TRUE(BeginHandoff());
  EXPECT_EQ(RootEntries().size(), committed.size() + 1);
  // The new hand-over starts from nothing: an earlier photo failure is forgotten.
  ASSERT_TRUE(WriteHandoffPhoto(0, Bytes(10, 0)));
  AbortHandoff();
  EXPECT_EQ(RootEntries(), committed);
}

TEST_F(LiveHandoffTest, UpdateReplacesOnlyThePlayData) {
  CommitOne("{\"v\":1}");
  const TActiveView before = Active();
  EXPECT_TRUE(UpdateHandoffData("{\"v\":2}"));
  const TActiveView after = Active();
  EXPECT_EQ(after.dir, before.dir);
  EXPECT_EQ(after.photo0, before.photo0);
  EXPECT_EQ(after.data, "{\"v\":2}");
  EXPECT_FALSE(fs::exists(ActiveDataPath() + ".tmp"));
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(UpdateHandoffData(""));
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("update failed: the play data is empty"),
            std::string::npos);
  EXPECT_EQ(Active(), after);
}

TEST_F(LiveHandoffTest, AHandOverThatCannotBeWrittenKeepsThePreviousOne) {
  CommitOne("{\"keep\":true}");
  const TActiveView before = Active();
  const std::set<std::string> entries = RootEntries();

  // The pending generation vanishes under the writer (another program's sweep).
  ASSERT_TRUE(BeginHandoff());
  for (const std::string& name : RootEntries())
    if (!entries.count(name)) fs::remove_all(FRoot / name);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(WriteHandoffPhoto(0, Bytes(10, 0)));
  EXPECT_FALSE(CommitHandoff("{}"));
  std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("Tessary [handoff] photo failed: "), std::string::npos) << log;
  EXPECT_NE(log.find("No such file or directory"), std::string::npos) << log;
  EXPECT_EQ(Active(), before);

  // The pointer cannot be replaced: the new generation goes, the old one stays.
  fs::create_directories(FRoot / "active.txt.tmp");
  ASSERT_TRUE(BeginHandoff());
  ASSERT_TRUE(WriteHandoffPhoto(0, Bytes(10, 0)));
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(CommitHandoff("{}"));
  log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("Tessary [handoff] commit failed: " + (FRoot / "active.txt.tmp").string()), std::string::npos)
      << log;
  EXPECT_EQ(Active(), before);
  fs::remove(FRoot / "active.txt.tmp");
  EXPECT_EQ(RootEntries(), entries);
}

// The live wallpaper serves these photos to its page: nothing inside the
// store may lead it to another file of the user's.
TEST_F(LiveHandoffTest, PhotosAreReadOnlyFromPlainFilesInsideTheActiveGeneration) {
  CommitOne("{}");
  const fs::path generation = ActiveGenerationDir();
  const fs::path photos = generation / "photos";
  const fs::path secret = FHome.Write("secret.jpg", "secret");
  FHome.Write("elsewhere/0000.jpg", "elsewhere");
  FHome.Write("other-generation/photos/0000.jpg", "other");
  struct TCase {
    const char* name;
    std::function<void()> arrange;
    int index;
  };
  const TCase cases[] = {
      {"a photo linked to a file outside", [&] { fs::create_symlink(secret, photos / "0003.jpg"); }, 3},
      {"a photo linked to another photo", [&] { fs::create_symlink(photos / "0000.jpg", photos / "0004.jpg"); }, 4},
      {"a photo larger than a hand-over photo may be",
       [&] {
         FHome.Write((photos / "0005.jpg").lexically_relative(FHome.Path()).string(), "x");
         fs::resize_file(photos / "0005.jpg", kHandoffMaxPhotoBytes + 1);
       },
       5},
      {"the photo folder linked elsewhere",
       [&] {
         fs::rename(photos, generation / "photos.real");
         fs::create_symlink(FHome.Path() / "elsewhere", photos);
       },
       0},
      {"the generation folder linked elsewhere",
       [&] {
         fs::create_symlink(FHome.Path() / "other-generation", FRoot / "g-0abcde");
         WritePointer("g-0abcde");
       },
       0},
  };
  for (const TCase& c : cases) {
    c.arrange();
    std::vector<std::uint8_t> photo{1};
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(ReadHandoffPhoto(c.index, photo)) << c.name;
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(photo.empty()) << c.name;
    EXPECT_NE(log.find("Tessary [handoff] photo read failed: "), std::string::npos) << c.name << "\n" << log;
  }

  // The data folder itself may be a link (a folder on another disk).
  WritePointer(generation.filename().string());
  fs::remove(photos);
  fs::rename(generation / "photos.real", photos);
  fs::create_symlink(FHome.Path(), FHome.Path() / "linked-home");
  setenv("XDG_DATA_HOME", (FHome.Path() / "linked-home").c_str(), 1);
  std::vector<std::uint8_t> photo;
  EXPECT_TRUE(ReadHandoffPhoto(7, photo));
  EXPECT_EQ(photo, Bytes(500, 1));
}

}  // namespace
