#include <gtest/gtest.h>

#include <stdexcept>

#include "shared/CommandTable.h"
#include "tests/native/FakePlatform.h"

namespace {

class CommandTableTest : public ::testing::Test {
 protected:
  TCommandTable table{[this](const std::string& event, const TJson& payload) { events.push_back({event, payload}); }};
  std::vector<TEmitted> events;

  void Dispatch(const std::string& text) { table.Dispatch(TJson::parse(text)); }
  std::string Only() {
    EXPECT_EQ(events.size(), 1u);
    const std::string text = events.empty() ? "" : events[0].event + " " + events[0].payload.dump();
    events.clear();
    return text;
  }
};

// The one boundary: whatever a handler throws becomes its row's error event
// with the failure's own text, and the next command runs as usual.
TEST_F(CommandTableTest, AFailingHandlerIsAnsweredWithItsRowsErrorEventAndTheTableGoesOn) {
  const auto fails = [](const char* text) { return [text](const TCommand&) { throw std::runtime_error(text); }; };
  table.Add("saveImage", fails("disk full"), ErrorEvent("saveError", "requestId"));
  table.Add("albumLoad", fails("Invalid album id"), ErrorEvent("albumError"));
  table.Add("convertHeic", fails("not a picture"), TErrorEvent{"heicConverted", "reqId", "error", {}});
  table.Add("commitLiveHandoff", fails("cannot write"), TErrorEvent{"kiroExported", "", "error", {{"format", "kiro"}}});
  table.Add("beginAlbumPdf", fails(""), ErrorEvent("albumPdfError", "requestId"));
  table.Add("finishAlbumPdf", [](const TCommand&) { throw 42; }, ErrorEvent("albumPdfError", "requestId"));
  table.Add("setLanguage", fails("no answer of its own"));
  // Library messages as they come (the HEIC decoder's ends in a line break).
  table.Add("albumPdfPage", fails("Invalid input: Unexpected end of file: EOF\n"), ErrorEvent("albumPdfError", "requestId"));
  table.Add("setWallpaper", fails(" \r\n\t"), ErrorEvent("wallpaperError", "requestId"));
  table.Add("getFonts", [this](const TCommand&) { events.push_back({"fonts", TJson::object()}); });

  struct TCase {
    std::string message;
    std::string answer;  // empty: none
  };
  const TCase cases[] = {
      {R"({"cmd":"saveImage","requestId":"r7","data":"AAAA"})", R"(saveError {"requestId":"r7","message":"disk full"})"},
      {R"({"cmd":"saveImage"})", R"(saveError {"requestId":"","message":"disk full"})"},
      {R"({"cmd":"saveImage","requestId":7})", R"(saveError {"requestId":"","message":"disk full"})"},
      {R"({"cmd":"albumLoad","id":"x"})", R"(albumError {"message":"Invalid album id"})"},
      {R"({"cmd":"convertHeic","reqId":"h1"})", R"(heicConverted {"reqId":"h1","error":"not a picture"})"},
      {R"({"cmd":"commitLiveHandoff"})", R"(kiroExported {"format":"kiro","error":"cannot write"})"},
      {R"({"cmd":"beginAlbumPdf","requestId":"p"})", R"(albumPdfError {"requestId":"p","message":"beginAlbumPdf failed"})"},
      {R"({"cmd":"finishAlbumPdf","requestId":"p"})", R"(albumPdfError {"requestId":"p","message":"finishAlbumPdf failed"})"},
      {R"({"cmd":"setLanguage","lang":"ja"})", ""},
      {R"({"cmd":"albumPdfPage","requestId":"p"})",
       R"(albumPdfError {"requestId":"p","message":"Invalid input: Unexpected end of file: EOF"})"},
      {R"({"cmd":"setWallpaper","requestId":"w"})", R"(wallpaperError {"requestId":"w","message":"setWallpaper failed"})"},
  };
  for (const TCase& c : cases) {
    Dispatch(c.message);
    if (c.answer.empty()) {
      EXPECT_TRUE(events.empty()) << c.message;
    } else {
      EXPECT_EQ(Only(), c.answer) << c.message;
    }
    Dispatch(R"({"cmd":"getFonts"})");
    EXPECT_EQ(Only(), "fonts {}") << "after " << c.message;
  }
}

// Work that ends later (off the window's thread) answers through the same
// report, after the message itself is gone.
TEST_F(CommandTableTest, AFailureReportKeptForLaterStillNamesItsRequest) {
  TFailureReport kept;
  table.Add("saveImage", [&](const TCommand& c) { kept = c.fail; }, ErrorEvent("saveError", "requestId"));
  Dispatch(R"({"cmd":"saveImage","requestId":"late-1"})");
  EXPECT_TRUE(events.empty());
  kept("No space left on device");
  EXPECT_EQ(Only(), R"(saveError {"requestId":"late-1","message":"No space left on device"})");
}

TEST_F(CommandTableTest, NamesMatchExactlyAndOnlyOnce) {
  int runs = 0;
  table.Add("getFonts", [&](const TCommand&) { ++runs; });
  table.Add("saveImage", [](const TCommand&) {});
  for (const char* text : {R"({"cmd":"GetFonts"})", R"({"cmd":"getfonts"})", R"({"cmd":"getFonts "})", R"({"cmd":7})",
                           R"({})", R"({"cmd":"unknown"})"}) {
    Dispatch(text);
  }
  EXPECT_EQ(runs, 0);
  Dispatch(R"({"cmd":"getFonts"})");
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(table.Names(), (std::vector<std::string>{"getFonts", "saveImage"}));
  // A second row of one name could never run: registering it is refused.
  EXPECT_THROW(table.Add("getFonts", [](const TCommand&) {}), std::logic_error);
}

TEST(CommandTable, AnAnswerThatFailsDoesNotEscapeEither) {
  TCommandTable table([](const std::string&, const TJson&) { throw std::runtime_error("page gone"); });
  table.Add("saveImage", [](const TCommand&) { throw std::runtime_error("disk full"); },
            ErrorEvent("saveError", "requestId"));
  EXPECT_NO_THROW(table.Dispatch(TJson::parse(R"({"cmd":"saveImage","requestId":"r"})")));
}

}  // namespace
