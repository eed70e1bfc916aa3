// The window's album PDF commands: beginAlbumPdf opens a document on the file
// chosen for it, albumPdfPage appends each page the page sends in chunks,
// finishAlbumPdf completes the file and cancelAlbumPdf drops it. At most one
// document is open; every failure ends it and deletes the partial file.
//
// Pages and the finish are written off the window's thread in the document's
// own lane, so they stay in order and the window keeps answering; the page
// sends the next page once the last one is written, so only one page is held
// here at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "shared/CommandTable.h"
#include "shared/UnitContext.h"

class TAlbumPdfCommands {
 public:
  // `takeChosenPath` hands out, once, the PDF file the save dialog chose;
  // `pdfOutDir` (--pdf-out=) names PDFs itself without a dialog.
  TAlbumPdfCommands(const TUnitContext& context, std::function<std::string()> takeChosenPath, std::string pdfOutDir);
  // Drops the open document.
  ~TAlbumPdfCommands();
  TAlbumPdfCommands(const TAlbumPdfCommands&) = delete;
  TAlbumPdfCommands& operator=(const TAlbumPdfCommands&) = delete;

  // beginAlbumPdf, albumPdfPage, finishAlbumPdf, cancelAlbumPdf.
  void Register(TCommandTable& table);
  // Drops the open document, deleting its file: the window is going, or the
  // page that was writing it is gone. Waits for a page being written.
  void DropOpenDocument();

  // The request that owns the open document, or empty.
  std::string OpenRequestId() const;

 private:
  struct TDocument;
  using TDocumentPtr = std::shared_ptr<TDocument>;

  void Begin(const TCommand& command);
  void Page(const TCommand& command);
  void Finish(const TCommand& command);
  void Cancel(const TCommand& command);
  // The open document when `requestId` owns it, else none.
  TDocumentPtr OwnedBy(const std::string& requestId) const;
  // The target of a new document; empty when the user cancelled the dialog.
  std::string TargetPath(const std::string& paper, bool useChosenPath);
  // A failure of `document`'s work: ends the document and answers, unless the
  // document was dropped meanwhile (its request is over for the page too).
  TFailureReport FailureEnding(const TDocumentPtr& document, TFailureReport fail);

  const TUnitContext& FContext;
  std::function<std::string()> FTakeChosenPath;
  std::string FPdfOutDir;
  TDocumentPtr FDocument;
  std::uint64_t FDocumentCount = 0;
  // Completions of background work check it: they may come after this unit.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
