#include "wallpaper/LiveMenu.h"

namespace {

std::string Pick(bool japanese, const char* en, const char* ja) { return japanese ? ja : en; }

std::string Motion(const TJson& data) {
  const auto motion = data.find("motion");
  return motion != data.end() && motion->is_string() ? motion->get<std::string>() : "drop";
}

double Speed(const TJson& data) {
  const auto speed = data.find("speed");
  return speed != data.end() && speed->is_number() ? speed->get<double>() : 1.0;
}

}  // namespace

std::vector<TMenuItem> BuildLiveMenu(const TLiveMenuInput& input) {
  const bool ja = input.japanese;
  const TJson* data = input.data && *input.data ? &**input.data : nullptr;
  std::vector<TMenuItem> items;
  if (input.stopped && data) {
    items.push_back(TMenuItem::Item(lmStart, Pick(ja, "Start Live Wallpaper", "ライブ壁紙を開始")));
    items.push_back(TMenuItem::Separator());
  }
  if (data) {
    const auto album = data->find("albumId");
    if (album != data->end() && album->is_string() && !album->get<std::string>().empty()) {
      items.push_back(TMenuItem::Item(lmOpenInMaker, Pick(ja, "Open this wallpaper in Tessary", "この壁紙をテッサリーで開く")));
      items.push_back(TMenuItem::Separator());
    }
  }
  std::vector<TMenuItem> choose;
  for (std::size_t i = 0; i < input.picks.size() && i < kMaxPicks; ++i) {
    choose.push_back(TMenuItem::Item(lmFirstPick + static_cast<int>(i), input.picks[i].label));
  }
  if (choose.empty()) {
    choose.push_back(TMenuItem::Item(0, Pick(ja, "(No saved creations)", "（保存した作品がありません）"), false));
  }
  choose.push_back(TMenuItem::Separator());
  choose.push_back(TMenuItem::Item(lmOpenPackage, Pick(ja, "Open from a file (*.kiro)…", "ファイルから開く（*.kiro）…"),
                                   input.canOpenPackages));
  items.push_back(TMenuItem::Submenu(Pick(ja, "Choose wallpaper", "壁紙を選ぶ"), std::move(choose)));
  items.push_back(TMenuItem::Separator());

  const std::string motion = data ? Motion(*data) : "";
  const double speed = data ? Speed(*data) : 0;
  const bool loaded = data != nullptr;
  items.push_back(TMenuItem::Submenu(Pick(ja, "Motion", "動き"),
                                     {TMenuItem::Check(lmDrop, Pick(ja, "Drop", "落とす"), motion == "drop", loaded),
                                      TMenuItem::Check(lmSway, Pick(ja, "Sway", "舞う"), motion == "sway", loaded)},
                                     loaded));
  items.push_back(TMenuItem::Submenu(
      Pick(ja, "Speed", "速さ"),
      {TMenuItem::Check(lmSlow, Pick(ja, "Slow", "ゆっくり"), loaded && speed < 0.8, loaded),
       TMenuItem::Check(lmNormal, Pick(ja, "Normal", "ふつう"), loaded && speed >= 0.8 && speed <= 1.2, loaded),
       TMenuItem::Check(lmFast, Pick(ja, "Fast", "はやい"), loaded && speed > 1.2, loaded)},
      loaded));
  if (!input.buildStamp.empty()) {
    items.push_back(TMenuItem::Separator());
    items.push_back(TMenuItem::Item(0, Pick(ja, "Build ", "ビルド ") + input.buildStamp, false));
  }
  return items;
}

std::optional<TJson> ApplyMotionOrSpeed(const TJson& data, int id) {
  TJson changed = data;
  switch (id) {
    case lmDrop: changed["motion"] = "drop"; break;
    case lmSway: changed["motion"] = "sway"; break;
    case lmSlow: changed["speed"] = 0.5; break;
    case lmNormal: changed["speed"] = 1; break;
    case lmFast: changed["speed"] = 1.8; break;
    default: return std::nullopt;
  }
  return changed;
}
