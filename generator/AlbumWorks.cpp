#include "generator/AlbumWorks.h"

#include <memory>
#include <stdexcept>
#include <utility>

#include "shared/CommandFields.h"
#include "shared/Origins.h"

namespace {

constexpr const char* kLane = "albums";

struct TStoreText {
  const char* english;
  const char* japanese;
};

constexpr TStoreText kStoreTexts[] = {
    {albumtext::kInvalidJson, "作品のデータが正しくありません"},
    {albumtext::kUnsupportedSchema, "この形式の作品には対応していません"},
    {albumtext::kInvalidName, "作品の名前が正しくありません（1〜100 文字）"},
    {albumtext::kInvalidId, "作品の ID が正しくありません"},
    {albumtext::kNotFound, "作品が見つかりません"},
    {albumtext::kTooManyCopies, "コピーして保存する写真が多すぎます"},
    {albumtext::kInvalidCopy, "コピーして保存する写真のデータが正しくありません"},
    {albumtext::kInvalidCopyName, "コピーして保存する写真の名前が正しくありません"},
    {albumtext::kCopiesTooLarge, "コピーして保存する写真が大きすぎます"},
    {albumtext::kImageTooLarge, "画像データが大きすぎます"},
    {albumtext::kInvalidImage, "画像データが正しくありません"},
};

TJson IdPayload(const std::string& id) {
  TJson payload = TJson::object();
  payload["id"] = id;
  return payload;
}

}  // namespace

std::string AlbumErrorText(const std::string& storeText, bool japanese) {
  if (!japanese) return storeText;
  for (const TStoreText& text : kStoreTexts) {
    if (storeText == text.english) return text.japanese;
  }
  return storeText;
}

TAlbumWorks::TAlbumWorks(const TUnitContext& context, std::string storeRoot,
                         std::function<void(const std::string& photoDir)> onOpened)
    : FContext(context), FStore(std::move(storeRoot)), FOnOpened(std::move(onOpened)) {}

void TAlbumWorks::Register(TCommandTable& table) {
  table.Add("albumSave", [this](const TCommand& c) { Save(c); }, ErrorEvent("albumError"));
  table.Add("albumSaveList", [this](const TCommand& c) { List(c); }, ErrorEvent("albumError"));
  table.Add("albumLoad", [this](const TCommand& c) { Load(c); }, ErrorEvent("albumError"));
  table.Add("albumDelete", [this](const TCommand& c) { Delete(c); }, ErrorEvent("albumError"));
}

TFailureReport TAlbumWorks::Translated(const TFailureReport& fail) const {
  const TUnitContext* context = &FContext;
  return [fail, context](const std::string& text) { fail(AlbumErrorText(text, context->Japanese())); };
}

void TAlbumWorks::Save(const TCommand& command) {
  const TJson& m = command.message;
  // The copies may be hundreds of megabytes of text: shared with the job, not copied again.
  auto copies = std::make_shared<TJson>(m.contains("copies") ? m["copies"] : TJson());
  const std::string json = FieldText(m, "json");
  const std::string cover = FieldText(m, "coverPngDataUrl");
  const TAlbumStore store = FStore;
  FContext.work.Run(kLane, Translated(command.fail), [this, store, copies, json, cover]() -> TRequestWork::TCompletion {
    const TAlbumSaved saved = store.Save(json, cover, *copies);
    const std::string marked = store.NormaliseAutoStart(saved.id, saved.autoStart);
    return [this, saved, marked] {
      ApplySignIn(marked, saved.autoStart);
      FContext.Emit("albumSaved", IdPayload(saved.id));
    };
  });
}

void TAlbumWorks::List(const TCommand& command) {
  const TJson* purpose = command.message.contains("purpose") ? &command.message["purpose"] : nullptr;
  const TJson echoed = purpose ? *purpose : TJson();
  const TAlbumStore store = FStore;
  FContext.work.Run(kLane, Translated(command.fail), [this, store, echoed]() -> TRequestWork::TCompletion {
    TJson albums = TJson::array();
    for (const TAlbumSummary& summary : store.List()) albums.push_back(AlbumSummaryJson(summary));
    return [this, albums = std::move(albums), echoed] {
      TJson payload = TJson::object();
      payload["albums"] = albums;
      if (!echoed.is_null()) payload["purpose"] = echoed;
      FContext.Emit("albumList", payload);
    };
  });
}

void TAlbumWorks::Load(const TCommand& command) {
  const std::string id = FieldText(command.message, "id");
  const TAlbumStore store = FStore;
  FContext.work.Run(kLane, Translated(command.fail), [this, store, id]() -> TRequestWork::TCompletion {
    auto loaded = std::make_shared<TAlbumLoaded>(store.Load(id));
    return [this, loaded] {
      FAlbumFilesDir = loaded->filesDir;
      FOnOpened(loaded->sourceFolder);
      TJson payload = TJson::object();
      payload["json"] = WriteJson(loaded->record);
      if (!loaded->sourceFolder.empty()) payload["folderBaseUrl"] = std::string(origins::kPhoto) + "/";
      payload["copiedBaseUrl"] = std::string(origins::kAlbumFiles) + "/";
      FContext.Emit("albumLoaded", payload);
    };
  });
}

void TAlbumWorks::Delete(const TCommand& command) {
  const std::string id = FieldText(command.message, "id");
  const TAlbumStore store = FStore;
  FContext.work.Run(kLane, Translated(command.fail), [this, store, id]() -> TRequestWork::TCompletion {
    store.Delete(id);
    const std::string marked = store.FindAutoStart();
    return [this, id, marked] {
      ApplySignIn(marked, false);
      FContext.Emit("albumDeleted", IdPayload(id));
    };
  });
}

void TAlbumWorks::ApplySignIn(const std::string& autoStartId, bool asked) {
  const bool registered = FContext.system.SetStartAtSignIn(!autoStartId.empty());
  if (asked && !registered) FContext.Emit("autoStartUnavailable", TJson::object());
}

void TAlbumWorks::RestoreAtSignInOnce() {
  if (FAutoStartChecked) return;
  FAutoStartChecked = true;
  const TAlbumStore store = FStore;
  const auto ignore = [](const std::string&) {};
  FContext.work.Run(kLane, ignore, [this, store]() -> TRequestWork::TCompletion {
    const std::string marked = store.FindAutoStart();
    return [this, marked] {
      ApplySignIn(marked, false);
      if (!marked.empty()) FContext.Emit("albumAutoStart", IdPayload(marked));
    };
  });
}

void TAlbumWorks::SweepLeftovers() { FStore.SweepLeftovers(); }
