// The album PDF: every page one full-page JPEG picture, streamed into the
// file as the page sends it. Only the object offsets stay in memory; the
// page tree, catalogue and cross-reference table are written at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TReplacingFile;

// Size and colour components of a JPEG, read from its frame header.
struct TJpegFrame {
  std::int64_t Width = 0;
  std::int64_t Height = 0;
  int Components = 0;
};

// None when the bytes are no JPEG or end before the frame header.
std::optional<TJpegFrame> ReadJpegFrame(std::span<const std::uint8_t> jpeg);

// The paper a name selects: "letter" (trimmed, in any case), else "a4".
std::string AlbumPdfPaperKey(std::string_view paper);

class TAlbumPdfWriter {
 public:
  // Opens the document for `path` on `paper` ("letter", trimmed and in any
  // case, is US Letter; anything else A4) and writes the header. The file
  // grows in a sibling and replaces `path` only at Finish, so an existing
  // file of that name is untouched until the new one is whole.
  // Throws std::runtime_error("<path>: <system message>").
  TAlbumPdfWriter(const std::string& path, const std::string& paper);
  // Aborts an unfinished document.
  ~TAlbumPdfWriter();
  TAlbumPdfWriter(const TAlbumPdfWriter&) = delete;
  TAlbumPdfWriter& operator=(const TAlbumPdfWriter&) = delete;

  // Appends a page showing the JPEG over the whole sheet, its bytes copied
  // unchanged. Throws std::runtime_error with the failure's text; a refused
  // page leaves the document as it was, a failed write aborts it.
  void AddPage(std::span<const std::uint8_t> jpeg, std::int64_t widthPx, std::int64_t heightPx);
  // Writes the page tree, catalogue, cross-reference table and trailer and
  // moves the file into place. Throws std::runtime_error; a document without
  // pages is left open, a failed write aborts it.
  void Finish();
  // Drops an unfinished document and its file; the target stays as it was.
  void Abort() noexcept;

  int PageCount() const { return static_cast<int>(FPageObjects.size()); }
  bool Closed() const { return FClosed; }
  const std::string& Path() const { return FPath; }
  // The page size in points, as written into the file.
  const std::string& PageWidth() const { return FPageWidth; }
  const std::string& PageHeight() const { return FPageHeight; }

 private:
  void Put(const std::string& text);
  std::int32_t BeginObject();

  std::unique_ptr<TReplacingFile> FStream;  // none once closed
  std::string FPath;
  std::int64_t FCount = 0;                  // bytes written: the current offset
  std::vector<std::int64_t> FOffsets;       // index 0 for object 1, the page tree
  std::vector<std::int32_t> FPageObjects;
  bool FClosed = false;
  std::string FPageWidth;
  std::string FPageHeight;
};
