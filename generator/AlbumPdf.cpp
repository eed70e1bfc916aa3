#include "generator/AlbumPdf.h"

#include <stdexcept>

#include "shared/ReplacingFile.h"
#include "shared/TextUtil.h"

namespace {

// The second line's high bytes tell transfer programs that the file is binary.
constexpr char kHeader[] = "%PDF-1.4\n%\xA4\x8F\x93\n";

bool IsLetter(std::string_view paper) {
  while (!paper.empty() && static_cast<unsigned char>(paper.front()) <= ' ') paper.remove_prefix(1);
  while (!paper.empty() && static_cast<unsigned char>(paper.back()) <= ' ') paper.remove_suffix(1);
  return EqualsNoCase(paper, "letter");
}

std::uint16_t BigEndian16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

// Start-of-frame markers: C0 … CF but for DHT (C4), JPG (C8) and DAC (CC).
bool IsFrameMarker(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// A stated size that differs from the picture's own would draw it sheared,
// or not at all, in every reader; a picture in another colour model would
// show wrong colours under the RGB colour space the page declares.
void CheckPageImage(std::span<const std::uint8_t> jpeg, std::int64_t widthPx, std::int64_t heightPx) {
  const std::optional<TJpegFrame> frame = ReadJpegFrame(jpeg);
  if (!frame) throw std::runtime_error("page image is not a JPEG");
  if (frame->Components != 3) throw std::runtime_error("page image is not a colour JPEG");
  if (frame->Width != widthPx || frame->Height != heightPx) {
    throw std::runtime_error("page image does not match the stated size");
  }
}

}  // namespace

std::string AlbumPdfPaperKey(std::string_view paper) { return IsLetter(paper) ? "letter" : "a4"; }

std::optional<TJpegFrame> ReadJpegFrame(std::span<const std::uint8_t> jpeg) {
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return std::nullopt;
  std::size_t at = 2;
  while (at + 4 <= jpeg.size()) {
    if (jpeg[at] != 0xFF) return std::nullopt;
    const std::uint8_t marker = jpeg[at + 1];
    if (marker == 0xFF) {  // fill byte before a marker
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // markers without a segment
      at += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // image data before any frame header
    const std::size_t length = BigEndian16(jpeg, at + 2);
    if (length < 2) return std::nullopt;
    if (IsFrameMarker(marker)) {
      if (length < 8 || at + 2 + 8 > jpeg.size()) return std::nullopt;
      return TJpegFrame{BigEndian16(jpeg, at + 7), BigEndian16(jpeg, at + 5), jpeg[at + 9]};
    }
    at += 2 + length;
  }
  return std::nullopt;
}

TAlbumPdfWriter::TAlbumPdfWriter(const std::string& path, const std::string& paper)
    : FPath(path),
      FPageWidth(IsLetter(paper) ? "612" : "595.28"),
      FPageHeight(IsLetter(paper) ? "792" : "841.89") {
  FStream = std::make_unique<TReplacingFile>(path);
  FOffsets.push_back(-1);
  try {
    Put(std::string(kHeader, sizeof kHeader - 1));
  } catch (...) {
    Abort();
    throw;
  }
}

TAlbumPdfWriter::~TAlbumPdfWriter() { Abort(); }

void TAlbumPdfWriter::Put(const std::string& text) {
  FStream->Write(text);
  FCount += static_cast<std::int64_t>(text.size());
}

std::int32_t TAlbumPdfWriter::BeginObject() {
  FOffsets.push_back(FCount);
  const auto number = static_cast<std::int32_t>(FOffsets.size());
  Put(std::to_string(number) + " 0 obj\n");
  return number;
}

void TAlbumPdfWriter::AddPage(std::span<const std::uint8_t> jpeg, std::int64_t widthPx, std::int64_t heightPx) {
  if (FClosed) throw std::runtime_error("already finished");
  if (jpeg.empty()) throw std::runtime_error("empty page image");
  if (widthPx <= 0 || heightPx <= 0) throw std::runtime_error("page size must be positive");
  CheckPageImage(jpeg, widthPx, heightPx);
  try {
    const std::int32_t image = BeginObject();
    Put("<</Type/XObject/Subtype/Image/Width " + std::to_string(widthPx) + "/Height " + std::to_string(heightPx) +
        "/ColorSpace/DeviceRGB/BitsPerComponent 8/Filter/DCTDecode/Length " + std::to_string(jpeg.size()) +
        ">>\nstream\n");
    FStream->Write(jpeg);
    FCount += static_cast<std::int64_t>(jpeg.size());
    Put("\nendstream\nendobj\n");

    // The picture is stretched over the whole sheet, whatever its own aspect.
    const std::string contents = "q " + FPageWidth + " 0 0 " + FPageHeight + " 0 0 cm /Im0 Do Q\n";
    const std::int32_t content = BeginObject();
    Put("<</Length " + std::to_string(contents.size()) + ">>\nstream\n" + contents + "\nendstream\nendobj\n");

    const std::int32_t pageObject = BeginObject();
    Put("<</Type/Page/Parent 1 0 R/MediaBox[0 0 " + FPageWidth + " " + FPageHeight +
        "]/Resources<</XObject<</Im0 " + std::to_string(image) + " 0 R>>>>/Contents " + std::to_string(content) +
        " 0 R>>\nendobj\n");
    FPageObjects.push_back(pageObject);
  } catch (...) {
    Abort();
    throw;
  }
}

void TAlbumPdfWriter::Finish() {
  if (FClosed) throw std::runtime_error("already finished");
  if (FPageObjects.empty()) throw std::runtime_error("PDFにするページがありません");
  try {
    FOffsets[0] = FCount;
    std::string kids;
    for (const std::int32_t page : FPageObjects) {
      if (!kids.empty()) kids += ' ';
      kids += std::to_string(page) + " 0 R";
    }
    Put("1 0 obj\n<</Type/Pages/Kids[" + kids + "]/Count " + std::to_string(FPageObjects.size()) + ">>\nendobj\n");

    const std::int32_t catalog = BeginObject();
    Put("<</Type/Catalog/Pages 1 0 R>>\nendobj\n");

    const std::int64_t table = FCount;
    const std::size_t size = FOffsets.size() + 1;
    std::string xref = "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
    for (const std::int64_t offset : FOffsets) {
      std::string digits = std::to_string(offset);
      xref += std::string(digits.size() < 10 ? 10 - digits.size() : 0, '0') + digits + " 00000 n \n";
    }
    Put(xref);
    Put("trailer\n<</Size " + std::to_string(size) + "/Root " + std::to_string(catalog) + " 0 R>>\nstartxref\n" +
        std::to_string(table) + "\n%%EOF\n");
    FStream->Commit();
  } catch (...) {
    Abort();
    throw;
  }
  FStream.reset();
  FClosed = true;
}

void TAlbumPdfWriter::Abort() noexcept {
  if (FStream) FStream->Discard();
  FStream.reset();
  FClosed = true;
}
