#include "generator/AlbumPdfCommands.h"

#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "generator/AlbumPdf.h"
#include "generator/HostTexts.h"
#include "generator/SaveFlow.h"
#include "shared/Base64.h"
#include "shared/ChunkAccumulator.h"
#include "shared/CommandFields.h"
#include "shared/Diagnostics.h"
#include "shared/LocalTime.h"

namespace {

constexpr std::int64_t kMissingInt = -1;
// The chunk accumulator keeps each transfer's format; PDF pages have their own.
constexpr const char* kPageFormat = "pdfpage";

TJson WithRequestId(const std::string& requestId) {
  TJson payload = TJson::object();
  payload["requestId"] = requestId;
  return payload;
}

}  // namespace

// One open document. Its writer is used by the page jobs on a worker thread
// and dropped from the window's thread, one at a time.
struct TAlbumPdfCommands::TDocument {
  TDocument(std::string id, std::string laneName, const std::string& path, const std::string& paper)
      : requestId(std::move(id)), lane(std::move(laneName)), writer(path, paper) {}

  const std::string requestId;
  const std::string lane;
  std::mutex lock;
  TAlbumPdfWriter writer;
};

TAlbumPdfCommands::TAlbumPdfCommands(const TUnitContext& context, std::function<std::string()> takeChosenPath,
                                     std::string pdfOutDir)
    : FContext(context), FTakeChosenPath(std::move(takeChosenPath)), FPdfOutDir(std::move(pdfOutDir)) {}

TAlbumPdfCommands::~TAlbumPdfCommands() { DropOpenDocument(); }

void TAlbumPdfCommands::Register(TCommandTable& table) {
  table.Add("beginAlbumPdf", [this](const TCommand& c) { Begin(c); }, ErrorEvent("albumPdfError", "requestId"));
  table.Add("albumPdfPage", [this](const TCommand& c) { Page(c); }, ErrorEvent("albumPdfError", "requestId"));
  table.Add("finishAlbumPdf", [this](const TCommand& c) { Finish(c); }, ErrorEvent("albumPdfError", "requestId"));
  // A cancel has no answer; the page has given the document up already.
  table.Add("cancelAlbumPdf", [this](const TCommand& c) { Cancel(c); });
}

std::string TAlbumPdfCommands::OpenRequestId() const { return FDocument ? FDocument->requestId : std::string(); }

TAlbumPdfCommands::TDocumentPtr TAlbumPdfCommands::OwnedBy(const std::string& requestId) const {
  return FDocument && !requestId.empty() && requestId == FDocument->requestId ? FDocument : nullptr;
}

void TAlbumPdfCommands::DropOpenDocument() {
  const TDocumentPtr document = std::exchange(FDocument, nullptr);
  if (!document) return;
  FContext.bridge.DiscardSave(document->requestId);
  // A page being written finishes first; the pages queued after it then
  // find the document closed and end without writing.
  std::lock_guard<std::mutex> hold(document->lock);
  document->writer.Abort();
}

void TAlbumPdfCommands::Begin(const TCommand& command) {
  const std::string requestId = FieldText(command.message, "requestId");
  const std::string paper = FieldText(command.message, "paper", "a4");
  const bool useChosenPath = FieldBool(command.message, "useChosenPath", false);
  DropOpenDocument();
  // Its pages could never arrive: the transfers refuse such an id.
  if (!IsValidTransferId(requestId)) throw std::runtime_error("invalid request id");

  const std::string path = TargetPath(paper, useChosenPath);
  if (path.empty()) return FContext.Emit("albumPdfCancelled", WithRequestId(requestId));
  FDocument = std::make_shared<TDocument>(requestId, "pdf:" + std::to_string(++FDocumentCount), path, paper);
  FContext.Emit("albumPdfReady", WithRequestId(requestId));
}

std::string TAlbumPdfCommands::TargetPath(const std::string& paper, bool useChosenPath) {
  if (useChosenPath) {
    if (std::string chosen = FTakeChosenPath(); !chosen.empty()) return chosen;
  }
  if (!FPdfOutDir.empty()) {
    std::error_code error;
    std::filesystem::create_directories(FPdfOutDir, error);
    if (error) throw std::runtime_error(FPdfOutDir + ": " + error.message());
    // The paper's own key, not the page's text, goes into the file name.
    const std::string name = "album_" + AlbumPdfPaperKey(paper) + "_" + LocalClockTime(true) + ".pdf";
    return (std::filesystem::path(FPdfOutDir) / name).string();
  }
  const bool japanese = FContext.Japanese();
  TSaveDialogRequest request;
  request.title = HostText(THostText::htPdfSaveTitle, japanese);
  request.types = {{HostText(THostText::htTypePdf, japanese), "*.pdf"}};
  request.defaultTypeIndex = 1;
  request.defaultExt = "pdf";
  request.fileName = "TessaryAlbum_" + LocalTimeStamp() + ".pdf";
  const TSaveDialogResult result = FContext.dialogs.ShowSaveDialog(request);
  if (!result.ok) return {};
  const std::string path = ForceExtension(result.path, ".pdf");
  return MayReplaceChosenFile(FContext, result, path) ? path : std::string();
}

TFailureReport TAlbumPdfCommands::FailureEnding(const TDocumentPtr& document, TFailureReport fail) {
  return [this, alive = std::weak_ptr<bool>(FAlive), document, fail = std::move(fail)](const std::string& text) {
    if (alive.expired()) return;
    if (FDocument != document) {
      LogDiagnostic("pdf", "after its document was dropped: " + text);
      return;
    }
    DropOpenDocument();
    fail(text);
  };
}

void TAlbumPdfCommands::Page(const TCommand& command) {
  const TJson& m = command.message;
  const std::string requestId = FieldText(m, "requestId");
  const TDocumentPtr document = OwnedBy(requestId);
  if (!document) return;
  std::string base64;
  std::string format;
  bool rejected = false;
  if (!FContext.bridge.AddSaveChunk(requestId, kPageFormat, FieldInt(m, "chunkIndex", kMissingInt),
                                    FieldInt(m, "totalChunks", kMissingInt), FieldText(m, "data"), base64, format,
                                    rejected)) {
    if (!rejected) return;
    DropOpenDocument();
    throw std::runtime_error("invalid transfer");
  }
  const std::int64_t widthPx = FieldInt(m, "widthPx", 0);
  const std::int64_t heightPx = FieldInt(m, "heightPx", 0);
  // Shared, not copied: one page is some megabytes of text.
  auto text = std::make_shared<std::string>(std::move(base64));
  auto done = [this, alive = std::weak_ptr<bool>(FAlive), document](int pages) {
    if (alive.expired() || FDocument != document) return;
    TJson payload = WithRequestId(document->requestId);
    payload["pages"] = pages;
    FContext.Emit("albumPdfPageDone", payload);
  };
  FContext.work.Run(document->lane, FailureEnding(document, command.fail),
                    [document, text, widthPx, heightPx, done]() -> TRequestWork::TCompletion {
                      const std::vector<std::uint8_t> jpeg = Base64Decode(*text);
                      text->clear();
                      text->shrink_to_fit();
                      std::lock_guard<std::mutex> hold(document->lock);
                      document->writer.AddPage(jpeg, widthPx, heightPx);
                      return [done, pages = document->writer.PageCount()] { done(pages); };
                    });
}

void TAlbumPdfCommands::Finish(const TCommand& command) {
  const TDocumentPtr document = OwnedBy(FieldText(command.message, "requestId"));
  if (!document) return;
  // The document stays open until its file is whole, so that closing the
  // window meanwhile still deletes an unfinished one.
  auto done = [this, alive = std::weak_ptr<bool>(FAlive), document] {
    if (alive.expired() || FDocument != document) return;
    FDocument.reset();
    TJson payload = WithRequestId(document->requestId);
    payload["path"] = document->writer.Path();
    FContext.Emit("albumPdfDone", payload);
  };
  FContext.work.Run(document->lane, FailureEnding(document, command.fail),
                    [document, done]() -> TRequestWork::TCompletion {
                      std::lock_guard<std::mutex> hold(document->lock);
                      document->writer.Finish();
                      return done;
                    });
}

void TAlbumPdfCommands::Cancel(const TCommand& command) {
  if (OwnedBy(FieldText(command.message, "requestId"))) DropOpenDocument();
}
