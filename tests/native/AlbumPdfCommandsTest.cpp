// The window's album PDF commands with a fake platform: where the document
// goes, pages in chunks written off the window's thread, and every way a
// document ends early leaving no file behind.
#include <filesystem>
#include <regex>

#include "shared/Base64.h"
#include "tests/native/MainFormFixture.h"
#include "tests/native/PdfReaders.h"

namespace {

namespace fs = std::filesystem;
using TPages = std::vector<std::pair<fs::path, std::pair<int, int>>>;

class PdfCommands : public MainFormTest {
 protected:
  void Begin(const std::string& id, const std::string& paper = "a4", bool useChosenPath = false) {
    PostJson(TJson{{"cmd", "beginAlbumPdf"}, {"requestId", id}, {"paper", paper}, {"useChosenPath", useChosenPath}});
  }
  // Sends a real JPEG of that size as one page in `chunks` chunks; returns the file sent.
  fs::path SendPage(const std::string& id, int width, int height, int chunks = 2) {
    const fs::path jpeg = root.Path() / ("page-" + std::to_string(++madePages) + ".jpg");
    SendBytes(id, Base64Encode(MakeJpeg(jpeg, width, height, madePages)), width, height, chunks);
    return jpeg;
  }
  void SendBytes(const std::string& id, const std::string& base64, int width, int height, int chunks = 1) {
    const std::size_t part = (base64.size() / chunks + 3) / 4 * 4;
    for (int i = 0; i < chunks; ++i) {
      PostJson(TJson{{"cmd", "albumPdfPage"}, {"requestId", id}, {"chunkIndex", i}, {"totalChunks", chunks},
                     {"data", base64.substr(std::min(base64.size(), i * part), i + 1 < chunks ? part : std::string::npos)},
                     {"widthPx", width}, {"heightPx", height}});
    }
  }
  void Command(const char* cmd, const std::string& id) { PostJson(TJson{{"cmd", cmd}, {"requestId", id}}); }
  // Files in `folder`, by name.
  static std::vector<std::string> Files(const fs::path& folder) {
    std::vector<std::string> names;
    if (!fs::exists(folder)) return names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::string> Events() {
    std::vector<std::string> out;
    for (const TEmitted& e : window.TakeEvents()) out.push_back(e.event + " " + e.payload.dump());
    return out;
  }

  fs::path OutDir() const { return root.Path() / "pdf-out" / "nested"; }
  int madePages = 0;
};

TEST_F(PdfCommands, PagesSentInChunksBecomeAPdfInTheOutFolder) {
  Start({"--pdf-out=" + OutDir().string()});
  Begin("p1", " Letter ");
  EXPECT_EQ(Events(), std::vector<std::string>{R"(albumPdfReady {"requestId":"p1"})"});
  EXPECT_TRUE(window.dialogs.empty());
  TPages sent;
  sent.push_back({SendPage("p1", 255, 330, 3), {255, 330}});
  EXPECT_EQ(Events(), std::vector<std::string>{R"(albumPdfPageDone {"requestId":"p1","pages":1})"});
  sent.push_back({SendPage("p1", 51, 66, 1), {51, 66}});
  EXPECT_EQ(Events(), std::vector<std::string>{R"(albumPdfPageDone {"requestId":"p1","pages":2})"});
  Command("finishAlbumPdf", "p1");
  const TEmitted done = OnlyEvent();
  EXPECT_EQ(done.event, "albumPdfDone");
  const fs::path pdf = done.payload["path"].get<std::string>();
  EXPECT_EQ(pdf.parent_path(), OutDir());
  EXPECT_TRUE(std::regex_match(pdf.filename().string(), std::regex("album_letter_\\d{9}\\.pdf")))
      << pdf.filename() << ": the paper's own key and the time to the millisecond";
  EXPECT_EQ(Files(OutDir()), std::vector<std::string>{pdf.filename().string()});
  EXPECT_EQ(form.AlbumPdf().OpenRequestId(), "");
  ExpectReadersAgree(pdf, sent, "612 x 792 pts \\(letter\\)", root.Path());

  // The page's paper text never reaches the file name.
  Begin("p2", "../../escape");
  window.TakeEvents();
  SendPage("p2", 40, 56);
  window.TakeEvents();
  Command("finishAlbumPdf", "p2");
  const fs::path second = OnlyEvent().payload["path"].get<std::string>();
  EXPECT_EQ(second.parent_path(), OutDir());
  EXPECT_TRUE(second.filename().string().starts_with("album_a4_")) << second;
  ExpectReadersAgree(second, {{root.Path() / "page-3.jpg", {40, 56}}}, "595.28 x 841.89 pts \\(A4\\)", root.Path());
}

TEST_F(PdfCommands, TheDialogOrTheSaveDialogsChoiceNamesTheFile) {
  Start();
  window.saveAnswers.push_back({false, "", 1, {}});
  Begin("p1");
  EXPECT_EQ(Events(), std::vector<std::string>{R"(albumPdfCancelled {"requestId":"p1"})"});
  const TSaveDialogRequest& asked = window.dialogs.back();
  EXPECT_EQ(asked.title, "Save album as PDF");
  ASSERT_EQ(asked.types.size(), 1u);
  EXPECT_EQ(asked.types[0].name, "PDF document");
  EXPECT_EQ(asked.types[0].mask, "*.pdf");
  EXPECT_EQ(asked.defaultExt, "pdf");
  EXPECT_TRUE(std::regex_match(asked.fileName, std::regex("TessaryAlbum_\\d{8}_\\d{6}\\.pdf"))) << asked.fileName;
  EXPECT_EQ(form.AlbumPdf().OpenRequestId(), "");

  // A typed extension other than .pdf is replaced.
  Post(R"({"cmd":"setLanguage","lang":"ja"})");
  window.saveAnswers.push_back({true, (root.Path() / "book.txt").string(), 1, {}});
  Begin("p2");
  EXPECT_EQ(window.dialogs.back().title, "アルバムをPDFで保存");
  EXPECT_EQ(window.dialogs.back().types[0].name, "PDF 文書");
  window.TakeEvents();
  SendPage("p2", 40, 56);
  window.TakeEvents();
  Command("finishAlbumPdf", "p2");
  EXPECT_EQ(OnlyEvent().payload["path"], (root.Path() / "book.pdf").string());

  // The save dialog chose the file already: it is used once, without a second dialog.
  window.saveAnswers.push_back({true, (root.Path() / "chosen").string(), 4, {}});
  PostJson(TJson{{"cmd", "chooseImageSave"}, {"requestId", "s1"}, {"album", true}});
  EXPECT_EQ(OnlyEvent().payload["format"], "pdf");
  const std::size_t dialogs = window.dialogs.size();
  Begin("p3", "a4", true);
  EXPECT_EQ(window.dialogs.size(), dialogs);
  window.TakeEvents();
  SendPage("p3", 40, 56);
  window.TakeEvents();
  Command("finishAlbumPdf", "p3");
  EXPECT_EQ(OnlyEvent().payload["path"], (root.Path() / "chosen.pdf").string());
  window.saveAnswers.push_back({false, "", 1, {}});
  Begin("p4", "a4", true);
  EXPECT_EQ(window.dialogs.size(), dialogs + 1) << "the chosen file served one PDF only";
}

// Messages that do not belong to the open document change nothing and get
// no answer: a page or finish before any begin, another request's, or one
// after the document ended.
TEST_F(PdfCommands, StrayMessagesAreIgnoredWithoutAnAnswer) {
  Start({"--pdf-out=" + OutDir().string()});
  SendBytes("p1", "AAAA", 1, 1);
  Command("finishAlbumPdf", "p1");
  Command("cancelAlbumPdf", "p1");
  EXPECT_EQ(Events(), std::vector<std::string>{});

  Begin("p1");
  window.TakeEvents();
  SendPage("p1", 40, 56);
  window.TakeEvents();
  for (const char* other : {"p2", "", "P1", "p1 "}) {
    SendBytes(other, "AAAA", 1, 1);
    Command("finishAlbumPdf", other);
    Command("cancelAlbumPdf", other);
  }
  EXPECT_EQ(Events(), std::vector<std::string>{});
  EXPECT_EQ(form.AlbumPdf().OpenRequestId(), "p1");
  Command("finishAlbumPdf", "p1");
  EXPECT_EQ(OnlyEvent().event, "albumPdfDone");
  const std::vector<std::string> written = Files(OutDir());

  SendPage("p1", 40, 56);
  Command("finishAlbumPdf", "p1");
  Command("cancelAlbumPdf", "p1");
  EXPECT_EQ(Events(), std::vector<std::string>{});
  EXPECT_EQ(Files(OutDir()), written) << "the finished file stays as it was";
}

// Every way a document ends early removes its file; the file of that name
// the user had before stays untouched throughout.
TEST_F(PdfCommands, ADocumentEndedEarlyLeavesNothingAndTheUsersFileUntouched) {
  Start();
  const fs::path target = root.Write("album.pdf", "the user's earlier album");
  const struct {
    const char* name;
    bool withPage;
    std::function<void()> end;
    std::vector<std::string> events;
  } cases[] = {
      {"cancel", true, [this] { Command("cancelAlbumPdf", "p1"); }, {}},
      {"finish without pages", false, [this] { Command("finishAlbumPdf", "p1"); },
       {R"(albumPdfError {"requestId":"p1","message":"PDFにするページがありません"})"}},
      {"page of another size", true,
       [this] { SendBytes("p1", Base64Encode(MakeJpeg(root.Path() / "odd.jpg", 40, 56, 0)), 56, 40); },
       {R"(albumPdfError {"requestId":"p1","message":"page image does not match the stated size"})"}},
      {"page that is no JPEG", true,
       [this] { SendBytes("p1", Base64Encode(Bytes("GIF89a")), 6, 1); },
       {R"(albumPdfError {"requestId":"p1","message":"page image is not a JPEG"})"}},
      {"chunks out of order", true,
       [this] {
         PostJson(TJson{{"cmd", "albumPdfPage"}, {"requestId", "p1"}, {"chunkIndex", 1}, {"totalChunks", 2},
                          {"data", "AAAA"}, {"widthPx", 1}, {"heightPx", 1}});
       },
       {R"(albumPdfError {"requestId":"p1","message":"invalid transfer"})"}},
      {"a new PDF begun", true,
       [this] {
         window.saveAnswers.push_back({false, "", 1, {}});
         Begin("p2");
       },
       {R"(albumPdfCancelled {"requestId":"p2"})"}},
      {"page reloaded", true, [this] { form.OnNavigationCompleted(true); }, {}},
      {"window destroyed", true, [this] { form.OnDestroyed(); }, {}},
  };
  for (const auto& c : cases) {
    window.saveAnswers.push_back({true, target.string(), 1, {}});
    Begin("p1");
    if (c.withPage) SendPage("p1", 40, 56);
    EXPECT_EQ(Events().size(), c.withPage ? 2u : 1u) << c.name;
    c.end();
    std::vector<std::string> events = Events();
    std::erase_if(events, [](const std::string& e) { return e.starts_with("wallpaperBackupState") || e.starts_with("displayInfo"); });
    EXPECT_EQ(events, c.events) << c.name;
    EXPECT_EQ(form.AlbumPdf().OpenRequestId(), "") << c.name;
    for (const std::string& name : Files(root.Path()))
      EXPECT_FALSE(name.starts_with("album.pdf.")) << c.name << ": " << name << " left behind";
    EXPECT_EQ(ReadText(target), "the user's earlier album") << c.name;
    // Later messages of the ended document are not answered.
    SendPage("p1", 40, 56);
    Command("finishAlbumPdf", "p1");
    EXPECT_EQ(Events(), std::vector<std::string>{}) << c.name;
    }
}

// Pages are written off the window's thread in order; the window answers
// meanwhile. A document dropped while its pages wait writes none of them
// and sends no late answers.
TEST_F(PdfCommands, PagesAreWrittenInOrderOffTheWindowsThread) {
  Start({"--pdf-out=" + OutDir().string()});
  window.deferBackground = true;
  Begin("p1");
  window.TakeEvents();
  SendPage("p1", 40, 56);
  SendPage("p1", 41, 56);
  Command("finishAlbumPdf", "p1");
  EXPECT_EQ(window.background.size(), 1u) << "one job of the lane at a time";
  Post(R"({"cmd":"getFonts"})");
  EXPECT_EQ(OnlyEvent().event, "fonts");
  window.RunBackground();
  EXPECT_EQ(Events(), std::vector<std::string>{R"(albumPdfPageDone {"requestId":"p1","pages":1})"});
  window.RunBackground();
  EXPECT_EQ(Events(), std::vector<std::string>{R"(albumPdfPageDone {"requestId":"p1","pages":2})"});
  // Closing the window while the finish waits still deletes the document.
  form.OnDestroyed();
  window.RunBackground();
  EXPECT_EQ(Events(), std::vector<std::string>{});
  EXPECT_EQ(Files(OutDir()), std::vector<std::string>{});

  Begin("p2");
  window.TakeEvents();
  SendPage("p2", 40, 56);
  SendPage("p2", 40, 56);
  Command("cancelAlbumPdf", "p2");
  while (!window.background.empty()) window.RunBackground();
  EXPECT_EQ(Events(), std::vector<std::string>{});
  EXPECT_EQ(Files(OutDir()), std::vector<std::string>{});
}

TEST_F(PdfCommands, ABeginThatCannotStartAnswersWithItsReason) {
  const fs::path blocker = root.Write("not-a-folder", "a file");
  Start({"--pdf-out=" + (blocker / "pdf").string()});
  Begin("p1");
  const TEmitted e = OnlyEvent();
  EXPECT_EQ(e.event, "albumPdfError");
  EXPECT_EQ(e.payload["requestId"], "p1");
  EXPECT_NE(e.payload["message"].get<std::string>().find("Not a directory"), std::string::npos) << e.payload;

  Begin("p 2");
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"requestId":"p 2","message":"invalid request id"})");
  EXPECT_EQ(form.AlbumPdf().OpenRequestId(), "");
}

}  // namespace
