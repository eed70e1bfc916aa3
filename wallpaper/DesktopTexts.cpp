#include "wallpaper/DesktopTexts.h"

std::string AttachFailureText(TAttachFailure failure, bool japanese) {
  if (failure != TAttachFailure::afNoX11Session) return {};
  return japanese ? "ライブ壁紙には X11 セッションが必要です。サインイン画面で X11（Xorg）のセッションを選んでください。"
                  : "Live wallpapers need an X11 session. Choose an X11 (Xorg) session when you sign in.";
}

std::string IconToggleReason(TIconLayer layer, bool japanese) {
  switch (layer) {
    case TIconLayer::ilTransparent:
      return {};
    case TIconLayer::ilOpaque:
      return japanese ? "このデスクトップでは壁紙の再生中はアイコンが隠れます"
                      : "On this desktop the icons are covered while the wallpaper plays";
    case TIconLayer::ilNone:
      break;
  }
  return japanese ? "このデスクトップにはアイコンがありません" : "This desktop shows no icons";
}
