#include "generator/UnavailableFeatures.h"

#include <stdexcept>

#include "generator/HostTexts.h"

namespace {

void Ignore(const TCommand&) {}

}  // namespace

void TUnavailableFeatures::Register(TCommandTable& table) { RegisterAlbumPdf(table); }

// The answers are failures with the feature's own text: the table's boundary
// turns each into the command's error event.
void TUnavailableFeatures::RegisterAlbumPdf(TCommandTable& table) {
  table.Add("beginAlbumPdf", [this](const TCommand&) {
    throw std::runtime_error(HostText(THostText::htPdfUnavailable, FContext.Japanese()));
  }, ErrorEvent("albumPdfError", "requestId"));
  // Pages, finish and cancel only act on an open PDF writer, and without
  // PDF support none is ever open.
  table.Add("albumPdfPage", Ignore, ErrorEvent("albumPdfError", "requestId"));
  table.Add("finishAlbumPdf", Ignore, ErrorEvent("albumPdfError", "requestId"));
  table.Add("cancelAlbumPdf", Ignore);
}
