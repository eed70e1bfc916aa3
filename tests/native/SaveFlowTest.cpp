#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "generator/SaveFlow.h"
#include "shared/LocalTime.h"
#include "shared/Base64.h"
#include "tests/native/MainFormFixture.h"

namespace {

namespace fs = std::filesystem;

class SaveTest : public MainFormTest {
 protected:
  void SetUp() override { Start(); }

  void Choose(const std::string& requestId, bool album, int typeIndex, const std::string& typedPath) {
    window.saveAnswers.push_back({true, typedPath, typeIndex, {}});
    PostJson(TJson{{"cmd", "chooseImageSave"}, {"requestId", requestId}, {"album", album}, {"generationId", 3}});
  }
  // Sends `bytes` as a one- or two-chunk saveImage transfer.
  void Send(const std::string& requestId, const std::string& format, const std::string& bytes) {
    const std::string b64 = Base64Encode(Bytes(bytes));
    const std::size_t half = b64.size() / 8 * 4;
    const int total = half > 0 ? 2 : 1;
    const std::string parts[] = {b64.substr(0, half > 0 ? half : b64.size()), b64.substr(half > 0 ? half : b64.size())};
    for (int i = 0; i < total; ++i) {
      PostJson(TJson{{"cmd", "saveImage"}, {"requestId", requestId}, {"format", format}, {"chunkIndex", i},
                 {"totalChunks", total}, {"data", parts[i]}});
    }
  }
  std::string Path(const std::string& name) { return (root.Path() / name).string(); }
};

TEST(SaveNames, ForceExtensionAndTimeStamp) {
  EXPECT_EQ(ForceExtension("/d/photo.txt", ".jpg"), "/d/photo.jpg");
  EXPECT_EQ(ForceExtension("/d/photo", ".png"), "/d/photo.png");
  EXPECT_EQ(ForceExtension("/d/Photo.PNG", ".png"), "/d/Photo.PNG");
  EXPECT_EQ(ForceExtension("/d.v2/photo.tar.gz", ".kiro"), "/d.v2/photo.tar.kiro");
  const std::string stamp = LocalTimeStamp();
  ASSERT_EQ(stamp.size(), 15u);
  EXPECT_EQ(stamp[8], '_');
  EXPECT_EQ(LocalTimeStamp('-')[8], '-');
}

TEST_F(SaveTest, TheDialogOffersThePicturesTheVideoAndThePackageOrInAlbumsThePdf) {
  Choose("r1", false, 1, Path("a.png"));
  const TSaveDialogRequest& still = window.dialogs.back();
  EXPECT_EQ(still.title, "Save generated image");
  ASSERT_EQ(still.types.size(), 4u);
  EXPECT_EQ(still.types[0].name, "PNG image");
  EXPECT_EQ(still.types[1].name, "JPEG image");
  EXPECT_EQ(still.types[1].mask, "*.jpg;*.jpeg");
  EXPECT_EQ(still.types[2].name, "MP4 video");
  EXPECT_EQ(still.types[2].mask, "*.mp4");
  EXPECT_EQ(still.types[3].name, "Live wallpaper");
  EXPECT_EQ(still.types[3].mask, "*.kiro");
  EXPECT_EQ(still.defaultTypeIndex, 1);
  EXPECT_EQ(still.defaultExt, "png");
  EXPECT_TRUE(still.fileName.starts_with("Tessary_") && still.fileName.ends_with(".png"));

  Post(R"({"cmd":"setLanguage","lang":"ja"})");
  Choose("r2", true, 4, Path("album"));
  const TSaveDialogRequest& album = window.dialogs.back();
  EXPECT_EQ(album.title, "生成した画像を保存");
  ASSERT_EQ(album.types.size(), 4u);
  EXPECT_EQ(album.types[3].name, "PDF 文書");
  EXPECT_EQ(album.types[3].mask, "*.pdf");
  EXPECT_EQ(album.defaultTypeIndex, 4);
  EXPECT_EQ(album.defaultExt, "pdf");
  EXPECT_TRUE(album.fileName.starts_with("TessaryAlbum_") && album.fileName.ends_with(".pdf"));
  Choose("r3", false, 1, Path("b.png"));
  EXPECT_EQ(window.dialogs.back().types[3].name, "ライブ壁紙");
}

TEST_F(SaveTest, TheChosenTypeDecidesFormatAndExtension) {
  struct TCase {
    bool album;
    int type;
    std::string typed;
    std::string format;
    std::string stored;
  };
  const TCase cases[] = {
      {false, 1, "/d/pic", "png", "/d/pic.png"},
      {false, 1, "/d/pic.jpg", "png", "/d/pic.png"},
      {false, 2, "/d/pic.JPEG", "jpeg", "/d/pic.JPEG"},
      {false, 2, "/d/pic.jpg", "jpeg", "/d/pic.jpg"},
      {false, 2, "/d/pic.txt", "jpeg", "/d/pic.jpg"},
      {false, 3, "/d/clip.MP4", "mp4", "/d/clip.MP4"},
      {false, 3, "/d/clip.webm", "mp4", "/d/clip.mp4"},
      {true, 4, "/d/book", "pdf", "/d/book.pdf"},
      {true, 2, "/d/page.jpeg", "jpeg", "/d/page.jpeg"},
      {false, 4, "/d/live", "kiro", "/d/live.kiro"},
      {false, 4, "/d/live.png", "kiro", "/d/live.kiro"},
      {false, 4, "/d/live.KIRO", "kiro", "/d/live.KIRO"},
  };
  for (const TCase& c : cases) {
    Choose("r1", c.album, c.type, c.typed);
    const TEmitted e = OnlyEvent();
    EXPECT_EQ(e.event, "saveTargetChosen");
    EXPECT_EQ(e.payload.dump(), R"({"requestId":"r1","format":")" + c.format + "\"}") << c.typed;
    const TSaveFlow& flow = form.SaveFlow();
    if (c.format == "pdf") {
      EXPECT_EQ(flow.ChosenPdfPath(), c.stored);
    } else if (c.format == "kiro") {
      EXPECT_EQ(flow.ChosenKiroPath(), c.stored) << c.typed;
      EXPECT_TRUE(flow.PendingImageSaves().empty()) << c.typed;
    } else {
      EXPECT_EQ(flow.PendingImageSaves().at("r1"), c.stored) << c.typed;
    }
  }
}

// The dialog asked about the name as typed; the extension the type adds may
// name another file, which is only replaced when the user says so.
TEST_F(SaveTest, AnAddedExtensionThatNamesAnExistingFileAsksFirst) {
  std::ofstream(Path("holiday.png")) << "keep me";
  std::ofstream(Path("clip.mp4")) << "keep me too";
  struct TCase {
    bool album;
    int type;
    std::string typed;
    bool yes;
    const char* event;
  };
  const TCase cases[] = {
      {false, 1, "holiday", false, "saveCancelled"},
      {false, 1, "holiday.jpg", false, "saveCancelled"},
      {false, 3, "clip.webm", true, "saveTargetChosen"},
      {false, 1, "holiday.png", false, "saveTargetChosen"},  // the dialog asked already
      {false, 2, "other", false, "saveTargetChosen"},        // nothing there to replace
  };
  for (const TCase& c : cases) {
    window.questions.clear();
    window.yesAnswer = c.yes;
    Choose("r1", c.album, c.type, Path(c.typed));
    EXPECT_EQ(OnlyEvent().event, c.event) << c.typed;
    const bool asks = c.typed != "holiday.png" && c.typed != "other";
    ASSERT_EQ(window.questions.size(), asks ? 1u : 0u) << c.typed;
    if (asks) {
      const std::string named = c.type == 3 ? "\"clip.mp4\" already exists" : "\"holiday.png\" already exists";
      EXPECT_NE(window.questions[0].find(named), std::string::npos) << window.questions[0];
    }
  }
  EXPECT_EQ(ReadText(Path("holiday.png")), "keep me");
  // A dialog that added the extension itself reports what it asked about.
  window.questions.clear();
  window.saveAnswers.push_back({true, Path("holiday.png"), 1, Path("holiday")});
  PostJson(TJson{{"cmd", "chooseImageSave"}, {"requestId", "r2"}});
  window.yesAnswer = false;
  EXPECT_EQ(OnlyEvent().event, "saveCancelled");
  EXPECT_EQ(window.questions.size(), 1u);
}

TEST_F(SaveTest, CancelOrStartOptionsAnswerWithoutATarget) {
  window.saveAnswers.push_back({false, "", 1, {}});
  Post(R"({"cmd":"chooseImageSave","requestId":"r1"})");
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"requestId":"r1"})");
  EXPECT_EQ(window.TakeEvents().size(), 0u);

  Post(R"({"cmd":"chooseImageSave","requestId":""})");
  PostJson(TJson{{"cmd", "chooseImageSave"}, {"requestId", std::string(81, 'r')}});
  EXPECT_TRUE(window.scripts.empty());
  EXPECT_EQ(window.dialogs.size(), 1u);
}

TEST_F(SaveTest, StartOptionsSkipTheDialog) {
  TFormMain preset(window, window, window, system, codec, desktopProvider, ipc);
  ASSERT_FALSE(preset.FormCreate({"--kiro-out=/out/live.kiro", "--pdf-out=/out"}).endNow);
  window.scripts.clear();
  preset.OnPageMessage("tessary-app://app/", R"({"cmd":"chooseImageSave","requestId":"k"})");
  EXPECT_EQ(OnlyEvent().payload["format"], "kiro");
  EXPECT_EQ(preset.SaveFlow().ChosenKiroPath(), "/out/live.kiro");
  preset.OnPageMessage("tessary-app://app/", R"({"cmd":"chooseImageSave","requestId":"p","album":true})");
  EXPECT_EQ(OnlyEvent().payload["format"], "pdf");
  EXPECT_EQ(preset.SaveFlow().ChosenKiroPath(), "");
  EXPECT_TRUE(window.dialogs.empty());
}

TEST_F(SaveTest, AChunkedPictureArrivesByteForByte) {
  std::string picture(3000, '\0');
  for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<char>(i * 31);
  std::ofstream(Path("out.JPEG.tmp")) << "the user's own file";
  Choose("r1", false, 2, Path("out.JPEG"));
  window.TakeEvents();
  Send("r1", "jpg", picture);
  EXPECT_EQ(OnlyEvent().payload.dump(), TJson({{"requestId", "r1"}, {"path", Path("out.JPEG")}}).dump());
  EXPECT_EQ(ReadText(Path("out.JPEG")), picture);
  EXPECT_EQ(ReadText(Path("out.JPEG.tmp")), "the user's own file");
  for (const auto& entry : fs::directory_iterator(root.Path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.rfind("out.JPEG", 0) != 0 || name == "out.JPEG" || name == "out.JPEG.tmp") << name << " left behind";
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(static_cast<mode_t>(fs::status(Path("out.JPEG")).permissions()), 0666 & ~mask) << "made as any file is";
  EXPECT_TRUE(form.SaveFlow().PendingImageSaves().empty());
  EXPECT_TRUE(system.finishedFormats.empty());
}

// A reloaded page (after its process crashed) never finishes the transfers
// of the page before it; they must not keep their slots from later saves.
TEST_F(SaveTest, AReloadedPageStartsWithoutTheEarlierPagesTransfers) {
  for (int i = 0; i < 8; ++i) {
    PostJson(TJson{{"cmd", "saveImage"}, {"requestId", "old" + std::to_string(i)}, {"format", "png"},
               {"chunkIndex", 0}, {"totalChunks", 2}, {"data", "AAAA"}});
  }
  form.OnNavigationCompleted(true);
  window.TakeEvents();
  Choose("r1", false, 1, Path("after.png"));
  window.TakeEvents();
  Send("r1", "png", "picture");
  EXPECT_EQ(OnlyEvent().payload["path"], Path("after.png"));
  EXPECT_EQ(ReadText(Path("after.png")), "picture");
}

// Decoding and writing run off the window's thread: the window answers
// meanwhile, and each save answers when its own work ends.
TEST_F(SaveTest, EachSaveAnswersWhenItsOwnWorkEndsAndTheWindowAnswersMeanwhile) {
  window.deferBackground = true;
  Choose("r1", false, 1, Path("a.png"));
  Choose("r2", false, 1, Path("b.png"));
  window.TakeEvents();
  Send("r1", "png", "first picture");
  Send("r2", "png", "second picture");
  EXPECT_TRUE(window.scripts.empty());
  ASSERT_EQ(window.background.size(), 2u);
  Post(R"({"cmd":"getFonts"})");
  EXPECT_EQ(OnlyEvent().event, "fonts");

  window.RunBackground(1);
  EXPECT_EQ(OnlyEvent().payload["requestId"], "r2");
  EXPECT_FALSE(fs::exists(Path("a.png")));
  window.RunBackground(0);
  EXPECT_EQ(OnlyEvent().payload["requestId"], "r1");
  EXPECT_EQ(ReadText(Path("a.png")), "first picture");
  EXPECT_EQ(ReadText(Path("b.png")), "second picture");
}

// The page sends a request's chunks again while the first set is still being
// written: the two writes of one file wait for each other, the later one stays.
TEST_F(SaveTest, ASecondChunkSetForARequestBeingWrittenWaitsItsTurn) {
  window.deferBackground = true;
  Choose("r1", false, 1, Path("same.png"));
  window.TakeEvents();
  Send("r1", "png", "first set");
  window.saveAnswers.push_back({true, Path("same.png"), 1, {}});
  Send("r1", "png", "second set");
  ASSERT_EQ(window.background.size(), 1u);
  window.RunBackground();
  EXPECT_EQ(ReadText(Path("same.png")), "first set");
  EXPECT_EQ(OnlyEvent().event, "saveDone");
  ASSERT_EQ(window.background.size(), 1u);
  window.RunBackground();
  EXPECT_EQ(OnlyEvent().event, "saveDone");
  EXPECT_EQ(ReadText(Path("same.png")), "second set");
  for (const auto& entry : fs::directory_iterator(root.Path()))
    EXPECT_FALSE(entry.path().extension() == ".tmp") << entry.path() << " left behind";
}

TEST_F(SaveTest, FormatAndExtensionMustAgree) {
  Choose("r1", false, 1, Path("still.png"));
  window.TakeEvents();
  Send("r1", "jpg", "jpeg data");
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"requestId":"r1","message":"save format mismatch"})");
  EXPECT_FALSE(fs::exists(Path("still.png")));

  // An unknown format is saved as PNG.
  Choose("r2", false, 1, Path("other.png"));
  window.TakeEvents();
  Send("r2", "gif", "data");
  EXPECT_EQ(OnlyEvent().event, "saveDone");
}

TEST_F(SaveTest, MissingOrMistypedFieldsTakeTheirDefaults) {
  window.saveAnswers.push_back({true, Path("default.png"), 1, {}});
  Post(R"({"cmd":"chooseImageSave","requestId":"d1","album":"yes"})");
  EXPECT_EQ(window.dialogs.back().types[3].mask, "*.kiro");  // album = false
  window.TakeEvents();
  Post(R"({"cmd":"saveImage","requestId":"d1","format":7,"chunkIndex":0,"totalChunks":1,"data":"cG5n"})");
  EXPECT_EQ(OnlyEvent().event, "saveDone");  // format = "png" fits the .png target
  EXPECT_EQ(ReadText(Path("default.png")), "png");

  window.saveAnswers.push_back({true, Path("again.png"), 1, {}});
  Post(R"({"cmd":"chooseImageSave","requestId":"d2","album":null})");
  window.TakeEvents();
  Post(R"({"cmd":"saveImage","requestId":"d2","chunkIndex":0,"totalChunks":1,"data":"cG5n"})");
  EXPECT_EQ(OnlyEvent().event, "saveDone");
}

TEST_F(SaveTest, AnInvalidTransferDropsTheTarget) {
  Choose("r1", false, 1, Path("x.png"));
  window.TakeEvents();
  Post(R"({"cmd":"saveImage","requestId":"r1","format":"png","chunkIndex":1,"totalChunks":2,"data":"AAAA"})");
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"requestId":"r1","message":"invalid transfer"})");
  EXPECT_TRUE(form.SaveFlow().PendingImageSaves().empty());
  Post(R"({"cmd":"saveImage","requestId":"r2","format":"png","totalChunks":1,"data":"AAAA"})");
  EXPECT_EQ(OnlyEvent().event, "saveError");
  Post(R"({"cmd":"saveImage","requestId":"bad id","chunkIndex":0,"totalChunks":1,"data":"AAAA"})");
  EXPECT_EQ(OnlyEvent().payload["message"], "invalid transfer");
}

// A save whose chunk carries no text must neither report success nor empty
// the chosen file.
TEST_F(SaveTest, AChunkWithoutTextIsRefusedAndTheFileKeepsItsBytes) {
  const std::string target = Path("kept.png");
  std::ofstream(target) << "the user's picture";
  const std::string chunks[] = {
      R"("chunkIndex":0,"totalChunks":1)",
      R"("chunkIndex":0,"totalChunks":1,"data":null)",
      R"("chunkIndex":0,"totalChunks":1,"data":42)",
      R"("chunkIndex":0,"totalChunks":1,"data":["cG5n"])",
      R"("chunkIndex":0,"totalChunks":1,"data":"")",
  };
  for (const std::string& chunk : chunks) {
    Choose("g20", false, 1, target);
    window.TakeEvents();
    Post(R"({"cmd":"saveImage","requestId":"g20","format":"png",)" + chunk + "}");
    EXPECT_EQ(OnlyEvent().payload.dump(), R"({"requestId":"g20","message":"invalid transfer"})") << chunk;
    EXPECT_EQ(ReadText(target), "the user's picture") << chunk;
  }
  // A later chunk without text drops the chunks before it.
  Choose("g21", false, 1, target);
  window.TakeEvents();
  Post(R"({"cmd":"saveImage","requestId":"g21","format":"png","chunkIndex":0,"totalChunks":2,"data":"cG5n"})");
  EXPECT_TRUE(window.scripts.empty());
  Post(R"({"cmd":"saveImage","requestId":"g21","format":"png","chunkIndex":1,"totalChunks":2})");
  EXPECT_EQ(OnlyEvent().payload["message"], "invalid transfer");
  EXPECT_EQ(ReadText(target), "the user's picture");
}

TEST_F(SaveTest, VideosAreFinishedAndWebmAsksForItsOwnTarget) {
  Choose("v1", false, 3, Path("clip.mp4"));
  window.TakeEvents();
  Send("v1", "mp4", "ftyp-moof");
  EXPECT_EQ(OnlyEvent().event, "saveDone");
  EXPECT_EQ(ReadText(Path("clip.mp4")), "ftyp-moof+moov");
  EXPECT_EQ(system.finishedFormats, (std::vector<std::string>{"mp4"}));

  Choose("v2", false, 3, Path("clip2.mp4"));
  window.TakeEvents();
  window.saveAnswers.push_back({true, Path("typed-name"), 1, {}});
  Send("v2", "webm", "webm bytes");
  const TSaveDialogRequest& second = window.dialogs.back();
  ASSERT_EQ(second.types.size(), 1u);
  EXPECT_EQ(second.types[0].name, "WEBM video");
  EXPECT_EQ(second.types[0].mask, "*.webm");
  EXPECT_EQ(second.defaultExt, "webm");
  EXPECT_TRUE(second.fileName.ends_with(".webm"));
  EXPECT_EQ(OnlyEvent().payload["path"], Path("typed-name"));
  EXPECT_EQ(ReadText(Path("typed-name")), "webm bytes");
  EXPECT_FALSE(fs::exists(Path("clip2.mp4")));
  EXPECT_TRUE(form.SaveFlow().PendingImageSaves().empty());
}

TEST_F(SaveTest, WithoutATargetTheHostAsksAndMayBeCancelled) {
  Post(R"({"cmd":"setLanguage","lang":"ja"})");
  Send("n1", "png", "png bytes");
  EXPECT_EQ(window.dialogs.back().types[0].name, "PNG 画像");
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"requestId":"n1"})");
}

TEST_F(SaveTest, WriteFailuresReportTheSystemMessageAndKeepTheOldFile) {
  Choose("r1", false, 1, Path("missing-folder/x.png"));
  window.TakeEvents();
  Send("r1", "png", "data");
  const TEmitted e = OnlyEvent();
  EXPECT_EQ(e.event, "saveError");
  EXPECT_NE(e.payload["message"].get<std::string>().find("No such file or directory"), std::string::npos);

  root.Write("keep.png", "old picture");
  Choose("r2", false, 1, Path("keep.png"));
  window.TakeEvents();
  Post(R"({"cmd":"saveImage","requestId":"r2","format":"png","chunkIndex":0,"totalChunks":1,"data":"@@@@"})");
  EXPECT_EQ(OnlyEvent().payload["message"], "invalid base64 data");
  EXPECT_EQ(ReadText(Path("keep.png")), "old picture");
}

}  // namespace
