#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <sys/resource.h>

#include "generator/AlbumPdf.h"
#include "shared/FileAccess.h"
#include "tests/native/FakePlatform.h"
#include "tests/native/PdfReaders.h"

namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<std::uint8_t>;

// The smallest byte run that passes for a JPEG's header: start of image, an
// APP0 segment, a baseline frame header of the given size, end of image.
TBytes FrameOnlyJpeg(int width, int height, int components = 3, std::uint8_t frameMarker = 0xC0) {
  TBytes bytes = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x06, 'J', 'F', 'I', 'F'};
  const int length = 8 + 3 * components;
  bytes.insert(bytes.end(), {0xFF, frameMarker, 0x00, static_cast<std::uint8_t>(length), 0x08,
                             static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
                             static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width),
                             static_cast<std::uint8_t>(components)});
  for (int c = 1; c <= components; ++c) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), 0x11, 0x00});
  bytes.insert(bytes.end(), {0xFF, 0xD9});
  return bytes;
}

std::string TextOf(const fs::path& path) {
  const TBytes bytes = ReadFileBytes(path.string());
  return std::string(bytes.begin(), bytes.end());
}

std::vector<fs::path> FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path().filename());
  return files;
}

std::string FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(no failure)";
}

// Reads the cross-reference table back and checks that every in-use entry
// points at the line that begins its object; returns the object count.
int CheckCrossReference(const std::string& pdf) {
  const std::size_t startxref = pdf.rfind("startxref\n");
  EXPECT_NE(startxref, std::string::npos);
  const std::size_t table = std::stoull(pdf.substr(startxref + 10));
  EXPECT_EQ(pdf.compare(table, 5, "xref\n"), 0);
  std::size_t at = table + 5;
  EXPECT_EQ(pdf.compare(at, 2, "0 "), 0);
  const int size = std::stoi(pdf.substr(at + 2));
  at = pdf.find('\n', at) + 1;
  EXPECT_EQ(pdf.substr(at, 20), "0000000000 65535 f \n");
  for (int object = 1; object < size; ++object) {
    const std::string entry = pdf.substr(at + 20 * object, 20);
    EXPECT_TRUE(std::regex_match(entry, std::regex("\\d{10} 00000 n \n"))) << entry;
    const std::size_t offset = std::stoull(entry.substr(0, 10));
    const std::string head = std::to_string(object) + " 0 obj\n";
    EXPECT_EQ(pdf.compare(offset, head.size(), head), 0) << "object " << object;
    EXPECT_TRUE(offset == 0 || pdf[offset - 1] == '\n') << "object " << object;
  }
  EXPECT_EQ(pdf.compare(at + 20 * size, 8, "trailer\n"), 0);
  return size - 1;
}

class AlbumPdf : public ::testing::Test {
 protected:
  fs::path Target(const std::string& name = "album.pdf") const { return dir.Path() / name; }
  TTempDir dir;
};

TEST_F(AlbumPdf, OneA4PageHasTheObjectsTableAndTrailerInOrder) {
  TAlbumPdfWriter writer(Target().string(), "a4");
  const TBytes jpeg = FrameOnlyJpeg(2480, 3508);
  writer.AddPage(jpeg, 2480, 3508);
  EXPECT_EQ(writer.PageCount(), 1);
  writer.Finish();
  EXPECT_TRUE(writer.Closed());

  const std::string pdf = TextOf(Target());
  EXPECT_EQ(pdf.substr(0, 14), std::string("%PDF-1.4\n%\xA4\x8F\x93\n", 14));
  const std::string image = "2 0 obj\n<</Type/XObject/Subtype/Image/Width 2480/Height 3508/ColorSpace/DeviceRGB/"
                            "BitsPerComponent 8/Filter/DCTDecode/Length " + std::to_string(jpeg.size()) +
                            ">>\nstream\n" + std::string(jpeg.begin(), jpeg.end()) + "\nendstream\nendobj\n";
  EXPECT_EQ(pdf.substr(14, image.size()), image) << "the JPEG bytes go in unchanged";
  const std::string contents =
      "3 0 obj\n<</Length 37>>\nstream\nq 595.28 0 0 841.89 0 0 cm /Im0 Do Q\n\nendstream\nendobj\n";
  const std::string page =
      "4 0 obj\n<</Type/Page/Parent 1 0 R/MediaBox[0 0 595.28 841.89]/Resources<</XObject<</Im0 2 0 R>>>>"
      "/Contents 3 0 R>>\nendobj\n";
  const std::string tree = "1 0 obj\n<</Type/Pages/Kids[4 0 R]/Count 1>>\nendobj\n";
  const std::string catalog = "5 0 obj\n<</Type/Catalog/Pages 1 0 R>>\nendobj\n";
  const std::size_t at3 = 14 + image.size();
  const std::size_t at4 = at3 + contents.size();
  const std::size_t at1 = at4 + page.size();
  const std::size_t at5 = at1 + tree.size();
  const std::size_t table = at5 + catalog.size();
  const auto entry = [](std::size_t offset) {
    const std::string digits = std::to_string(offset);
    return std::string(10 - digits.size(), '0') + digits + " 00000 n \n";
  };
  EXPECT_EQ(pdf.substr(at3), contents + page + tree + catalog + "xref\n0 6\n0000000000 65535 f \n" + entry(at1) +
                                 entry(14) + entry(at3) + entry(at4) + entry(at5) +
                                 "trailer\n<</Size 6/Root 5 0 R>>\nstartxref\n" + std::to_string(table) +
                                 "\n%%EOF\n");
  EXPECT_EQ(CheckCrossReference(pdf), 5);
}

TEST_F(AlbumPdf, PagesTakeThreeObjectsEachAndTheTreeListsThemInOrder) {
  TAlbumPdfWriter writer(Target().string(), "a4");
  for (int page = 0; page < 3; ++page) writer.AddPage(FrameOnlyJpeg(100 + page, 141), 100 + page, 141);
  EXPECT_EQ(writer.PageCount(), 3);
  writer.Finish();
  const std::string pdf = TextOf(Target());
  EXPECT_NE(pdf.find("1 0 obj\n<</Type/Pages/Kids[4 0 R 7 0 R 10 0 R]/Count 3>>"), std::string::npos);
  EXPECT_NE(pdf.find("11 0 obj\n<</Type/Catalog/Pages 1 0 R>>"), std::string::npos);
  EXPECT_NE(pdf.find("<</Size 12/Root 11 0 R>>"), std::string::npos);
  EXPECT_NE(pdf.find("/Width 102/Height 141"), std::string::npos);
  EXPECT_NE(pdf.find("/Resources<</XObject<</Im0 8 0 R>>>>/Contents 9 0 R"), std::string::npos);
  EXPECT_EQ(CheckCrossReference(pdf), 11);
}

TEST_F(AlbumPdf, PaperNamesChooseLetterOrA4) {
  const struct {
    const char* paper;
    const char* size;
    int contentsLength;
  } cases[] = {
      {"letter", "612 792", 31}, {" LETTER\t", "612 792", 31}, {"Letter", "612 792", 31},
      {"a4", "595.28 841.89", 37}, {"a3", "595.28 841.89", 37}, {"", "595.28 841.89", 37},
      {"letters", "595.28 841.89", 37},
  };
  for (const auto& c : cases) {
    TAlbumPdfWriter writer(Target().string(), c.paper);
    writer.AddPage(FrameOnlyJpeg(10, 10), 10, 10);
    writer.Finish();
    const std::string pdf = TextOf(Target());
    EXPECT_NE(pdf.find(std::string("/MediaBox[0 0 ") + c.size + "]"), std::string::npos) << c.paper;
    EXPECT_NE(pdf.find("<</Length " + std::to_string(c.contentsLength) + ">>"), std::string::npos) << c.paper;
  }
}

TEST_F(AlbumPdf, RefusedPagesAndCallsNameTheirFault) {
  const TBytes good = FrameOnlyJpeg(40, 30);
  const struct {
    const char* name;
    std::function<void(TAlbumPdfWriter&)> action;
    const char* message;
  } cases[] = {
      {"empty image", [](auto& w) { w.AddPage({}, 40, 30); }, "empty page image"},
      {"zero width", [&](auto& w) { w.AddPage(good, 0, 30); }, "page size must be positive"},
      {"negative height", [&](auto& w) { w.AddPage(good, 40, -1); }, "page size must be positive"},
      {"not a JPEG", [](auto& w) { w.AddPage(TBytes{'P', 'N', 'G', 0, 0, 0}, 40, 30); }, "page image is not a JPEG"},
      {"grey JPEG", [](auto& w) { w.AddPage(FrameOnlyJpeg(40, 30, 1), 40, 30); }, "page image is not a colour JPEG"},
      {"other size", [&](auto& w) { w.AddPage(good, 30, 40); }, "page image does not match the stated size"},
      {"no pages", [](auto& w) { w.Finish(); }, "PDFにするページがありません"},
  };
  for (const auto& c : cases) {
    TAlbumPdfWriter writer(Target().string(), "a4");
    EXPECT_EQ(FailureOf([&] { c.action(writer); }), c.message) << c.name;
    // A refused page leaves the document as it was: it still finishes whole.
    writer.AddPage(good, 40, 30);
    writer.Finish();
    EXPECT_EQ(CheckCrossReference(TextOf(Target())), 5) << c.name;
  }

  TAlbumPdfWriter finished(Target().string(), "a4");
  finished.AddPage(good, 40, 30);
  finished.Finish();
  EXPECT_EQ(FailureOf([&] { finished.AddPage(good, 40, 30); }), "already finished");
  EXPECT_EQ(FailureOf([&] { finished.Finish(); }), "already finished");
  TAlbumPdfWriter aborted(Target("other.pdf").string(), "a4");
  aborted.Abort();
  EXPECT_EQ(FailureOf([&] { aborted.AddPage(good, 40, 30); }), "already finished");
}

TEST_F(AlbumPdf, AnUnfinishedDocumentLeavesNothingAndTheOldFileUntouched) {
  const fs::path target = dir.Write("album.pdf", "the user's earlier album");
  {
    TAlbumPdfWriter writer(target.string(), "a4");
    writer.AddPage(FrameOnlyJpeg(40, 30), 40, 30);
    EXPECT_EQ(FilesIn(dir.Path()).size(), 2u) << "the document grows beside the target";
    EXPECT_EQ(TextOf(target), "the user's earlier album");
    writer.Abort();
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<fs::path>{"album.pdf"});
  }
  {
    TAlbumPdfWriter dropped(target.string(), "a4");
    dropped.AddPage(FrameOnlyJpeg(40, 30), 40, 30);
  }
  EXPECT_EQ(FilesIn(dir.Path()), std::vector<fs::path>{"album.pdf"}) << "destroyed unfinished: aborted";
  EXPECT_EQ(TextOf(target), "the user's earlier album");

  TAlbumPdfWriter writer(target.string(), "a4");
  writer.AddPage(FrameOnlyJpeg(40, 30), 40, 30);
  writer.Finish();
  writer.Abort();
  EXPECT_EQ(FilesIn(dir.Path()), std::vector<fs::path>{"album.pdf"});
  EXPECT_EQ(TextOf(target).substr(0, 8), "%PDF-1.4") << "a finished document stays after a late abort";
}

TEST_F(AlbumPdf, FileSystemFailuresCarryTheSystemsMessage) {
  const fs::path missing = dir.Path() / "gone" / "album.pdf";
  EXPECT_EQ(FailureOf([&] { TAlbumPdfWriter(missing.string(), "a4"); }),
            missing.string() + ": No such file or directory");

  // A file-size limit makes the next write fail as a full disk would.
  TAlbumPdfWriter writer(Target().string(), "a4");
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = previous;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  TBytes big = FrameOnlyJpeg(40, 30);
  big.insert(big.end() - 2, 8192, 0);
  const std::string failure = FailureOf([&] { writer.AddPage(big, 40, 30); });
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(failure, Target().string() + ": File too large");
  EXPECT_TRUE(writer.Closed());
  EXPECT_TRUE(FilesIn(dir.Path()).empty()) << "the partial document is gone";
}

TEST(JpegFrame, ReadsTheFrameHeaderPastOtherSegments) {
  TBytes filled = FrameOnlyJpeg(640, 480);
  filled.insert(filled.begin() + 10, {0xFF, 0xFF});  // fill bytes before the frame marker
  TBytes restart = FrameOnlyJpeg(640, 480);
  restart.insert(restart.begin() + 10, {0xFF, 0xD0});  // a marker without a segment
  TBytes cut = FrameOnlyJpeg(8, 9);
  cut.resize(15);
  const struct {
    const char* name;
    TBytes bytes;
    std::optional<std::array<int, 3>> frame;
  } cases[] = {
      {"baseline", FrameOnlyJpeg(2480, 3508), std::array{2480, 3508, 3}},
      {"progressive", FrameOnlyJpeg(2550, 3300, 3, 0xC2), std::array{2550, 3300, 3}},
      {"grey", FrameOnlyJpeg(8, 9, 1), std::array{8, 9, 1}},
      {"fill bytes", filled, std::array{640, 480, 3}},
      {"restart marker", restart, std::array{640, 480, 3}},
      {"cut inside the frame header", cut, {}},
      {"huffman table only", FrameOnlyJpeg(8, 9, 3, 0xC4), {}},
      {"scan before a frame", TBytes{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0xFF, 0xD9}, {}},
      {"PNG", TBytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, {}},
  };
  for (const auto& c : cases) {
    const std::optional<TJpegFrame> frame = ReadJpegFrame(c.bytes);
    ASSERT_EQ(frame.has_value(), c.frame.has_value()) << c.name;
    if (!frame) continue;
    EXPECT_EQ(frame->Width, (*c.frame)[0]) << c.name;
    EXPECT_EQ(frame->Height, (*c.frame)[1]) << c.name;
    EXPECT_EQ(frame->Components, (*c.frame)[2]) << c.name;
  }
}

}  // namespace

// ----------------------------------------------------------------------------
// Documents read back by the programs people open them with.

namespace {

TEST_F(AlbumPdf, QpdfAndPopplerReadEveryPage) {
  const struct {
    const char* name;
    const char* paper;
    std::vector<std::pair<int, int>> pages;
    const char* pageSize;
  } documents[] = {
      {"a4", "a4", {{2480, 3508}, {248, 350}, {200, 282}}, "595.28 x 841.89 pts \\(A4\\)"},
      {"letter", "letter", {{256, 330}}, "612 x 792 pts \\(letter\\)"},
  };
  for (const auto& doc : documents) {
    const fs::path pdf = Target(std::string(doc.name) + ".pdf");
    std::vector<std::pair<fs::path, std::pair<int, int>>> sent;
    TAlbumPdfWriter writer(pdf.string(), doc.paper);
    for (std::size_t i = 0; i < doc.pages.size(); ++i) {
      const auto [width, height] = doc.pages[i];
      const fs::path jpeg = dir.Path() / (std::string(doc.name) + "-" + std::to_string(i + 1) + ".jpg");
      writer.AddPage(MakeJpeg(jpeg, width, height, static_cast<int>(i)), width, height);
      sent.push_back({jpeg, doc.pages[i]});
    }
    writer.Finish();
    ExpectReadersAgree(pdf, sent, doc.pageSize, dir.Path());
  }
}

}  // namespace
