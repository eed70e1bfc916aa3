#include "generator/HostTexts.h"

namespace {

struct TTextPair {
  THostText id;
  const char* english;
  const char* japanese;
};

constexpr TTextPair kTexts[] = {
    {THostText::htCaption, "Tessary — Scatter your memories", "テッサリー − 思い出を机いっぱいに"},
    {THostText::htSaveTitle, "Save generated image", "生成した画像を保存"},
    {THostText::htPdfSaveTitle, "Save album as PDF", "アルバムをPDFで保存"},
    {THostText::htTypePng, "PNG image", "PNG 画像"},
    {THostText::htTypeJpeg, "JPEG image", "JPEG 画像"},
    {THostText::htTypeMp4, "MP4 video", "MP4 動画"},
    {THostText::htTypePdf, "PDF document", "PDF 文書"},
    {THostText::htTypeKiro, "Live wallpaper", "ライブ壁紙"},
    {THostText::htVideoSuffix, " video", " 動画"},
    {THostText::htImageSuffix, " image", " 画像"},
    {THostText::htPickFolderTitle, "Select a folder with photos and memos",
     "素材（写真・メモ）のあるフォルダーを選択"},
    {THostText::htLiveHandoffFailed,
     "The pictures for the live wallpaper could not be stored. Check the free disk space and try again.",
     "ライブ壁紙用の写真を保存できませんでした。ディスクの空き容量を確かめて、もう一度お試しください。"},
    {THostText::htLiveNotStarted, "The live wallpaper program did not start.",
     "ライブ壁紙アプリが起動しませんでした。"},
    {THostText::htPageGone, "Tessary's page stopped working and could not be restarted. Close Tessary and start it again.",
     "Tessary の画面が動かなくなり、再読み込みもできませんでした。Tessary を閉じて、もう一度起動してください。"},
    {THostText::htReplaceQuestion, "\"%s\" already exists. Do you want to replace it?",
     "「%s」は既にあります。置き換えますか？"},
    {THostText::htFolderUnreadable, "The folder could not be opened.\n%s", "フォルダーを開けませんでした。\n%s"},
    {THostText::htBrowserFailed, "Tessary's page cannot be shown: the browser could not be started.\n%s",
     "Tessary の画面を表示できません。ブラウザーを起動できませんでした。\n%s"},
};

}  // namespace

std::string HostText(THostText id, bool japanese) {
  for (const TTextPair& text : kTexts) {
    if (text.id == id) return japanese ? text.japanese : text.english;
  }
  return {};
}

std::string HostText(THostText id, bool japanese, const std::string& value) {
  std::string text = HostText(id, japanese);
  if (const std::size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, value);
  return text;
}
