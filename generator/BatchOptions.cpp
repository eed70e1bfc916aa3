#include "generator/BatchOptions.h"

#include <cmath>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>

#include "shared/TextUtil.h"

namespace {

// Which outputs an option means something for.
constexpr unsigned kStill = 1;         // .png, .jpg
constexpr unsigned kScatterVideo = 2;  // .mp4 of a falling or fluttering pile
constexpr unsigned kAlbumVideo = 4;    // .mp4 with --motion=album
constexpr unsigned kPdf = 8;           // .pdf: the album's print pages
constexpr unsigned kScatter = kStill | kScatterVideo;
constexpr unsigned kAlbum = kAlbumVideo | kPdf;
constexpr unsigned kVideo = kScatterVideo | kAlbumVideo;
constexpr unsigned kAny = kStill | kVideo | kPdf;

// The page's own sizes; their ids are the size select's values.
const std::vector<std::string> kSizePresets = {"fhd",     "sp",      "iphone",   "video-post", "insta45",
                                               "insta11", "insta34", "insta191", "xga",        "wqhd",
                                               "uhd",     "spq",     "display"};
constexpr int kMinSide = 320;
constexpr int kMaxSide = 8192;
constexpr std::size_t kMaxImageTitle = 80;
constexpr std::size_t kMaxVideoTitle = 40;
constexpr std::size_t kMaxFavourites = 5;
const std::vector<std::string> kTitlePositions = {"top-left",    "top-center",    "top-right",
                                                  "middle-left", "center",        "middle-right",
                                                  "bottom-left", "bottom-center", "bottom-right"};
const std::vector<std::string> kOwnFonts = {"gothic", "meiryo", "mincho", "yomogi", "yusei", "mochiy", "hachimaru"};

class TBadArgument : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string Joined(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& value : values) text += (text.empty() ? "" : ", ") + value;
  return text;
}

struct TState {
  TBatchRequest request;
  std::string motion;  // --motion=, checked against the output once all are read
};

using TApply = std::function<void(TState&, const std::string& option, const std::string& value)>;

struct TOptionRow {
  std::string name;  // "--frame" (without "=")
  bool takesValue;
  unsigned scope;
  std::string help;  // "KEY  what it sets"
  TApply apply;
  TBatchChoices choices = {};  // options that pick one value of a page's select
};

void SetControl(TState& s, const std::string& option, const std::string& control, TJson value) {
  for (TBatchControl& c : s.request.controls) {
    if (c.control == control) {
      c.option = option;
      c.value = std::move(value);
      return;
    }
  }
  s.request.controls.push_back({option, control, std::move(value)});
}

// A value from a fixed list; `pageValues` (when given) are what the page's
// control calls them, in the same order.
TApply Choice(std::string control, std::vector<std::string> values, std::vector<std::string> pageValues = {}) {
  return [control, values, pageValues](TState& s, const std::string& option, const std::string& value) {
    const std::string lower = ToLowerAscii(value);
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (values[i] == lower) return SetControl(s, option, control, pageValues.empty() ? values[i] : pageValues[i]);
    }
    throw TBadArgument(option + ": unknown value \"" + value + "\"; accepted: " + Joined(values));
  };
}

TApply Switch(std::string control) {
  return [control](TState& s, const std::string& option, const std::string&) { SetControl(s, option, control, true); };
}

// A whole number in [min, max] that is a multiple of `step` (as the page's slider takes it).
std::optional<int> SteppedInt(const std::string& value, int min, int max, int step) {
  const std::optional<int> n = ParseDecimalInt(value);
  if (!n || *n < min || *n > max || (*n - min) % step != 0) return std::nullopt;
  return n;
}

TApply Text(std::string control, std::size_t maxChars) {
  return [control, maxChars](TState& s, const std::string& option, const std::string& value) {
    // Counted as the page's text field counts: in UTF-16 units, near enough in code points.
    std::size_t chars = 0;
    for (unsigned char c : value) chars += (c & 0xC0) != 0x80;
    if (chars > maxChars) throw TBadArgument(option + ": at most " + std::to_string(maxChars) + " characters");
    SetControl(s, option, control, value);
  };
}

void ApplySize(TState& s, const std::string& option, const std::string& value) {
  const std::string lower = ToLowerAscii(value);
  s.request.screenSize = false;
  for (const std::string& preset : kSizePresets) {
    if (lower != preset) continue;
    if (preset == "display") {
      s.request.screenSize = true;
      return;
    }
    return SetControl(s, option, "sizePreset", preset);
  }
  const std::size_t x = lower.find('x');
  const std::optional<int> w = x == std::string::npos ? std::nullopt : ParseDecimalInt(lower.substr(0, x));
  const std::optional<int> h = x == std::string::npos ? std::nullopt : ParseDecimalInt(lower.substr(x + 1));
  if (!w || !h) {
    throw TBadArgument(option + ": unknown value \"" + value + "\"; accepted: " + Joined(kSizePresets) +
                       ", or WIDTHxHEIGHT");
  }
  if (*w < kMinSide || *w > kMaxSide || *h < kMinSide || *h > kMaxSide) {
    throw TBadArgument(option + ": " + value + " is out of range; width and height must each be " +
                       std::to_string(kMinSide) + " to " + std::to_string(kMaxSide));
  }
  SetControl(s, option, "sizePreset", "custom");
  SetControl(s, option, "customW", std::to_string(*w));
  SetControl(s, option, "customH", std::to_string(*h));
}

void ApplyTitleColor(TState& s, const std::string& option, const std::string& value) {
  const std::string lower = ToLowerAscii(value);
  const bool hex =
      lower.size() == 7 && lower[0] == '#' && lower.find_first_not_of("0123456789abcdef", 1) == std::string::npos;
  if (lower != "auto" && !hex)
    throw TBadArgument(option + ": unknown value \"" + value + "\"; accepted: auto, #RRGGBB");
  s.request.titleColor = hex ? lower : "";
}

void ApplyTitlePosition(TState& s, const std::string& option, const std::string& value) {
  const std::string lower = ToLowerAscii(value);
  s.request.titlePosition.clear();
  s.request.titleFreePos.reset();
  for (const std::string& position : kTitlePositions) {
    if (lower == position) {
      s.request.titlePosition = position;
      return;
    }
  }
  const std::size_t comma = value.find(',');
  if (comma != std::string::npos) {
    try {
      std::size_t usedX = 0;
      std::size_t usedY = 0;
      const std::string xs = TrimSpace(value.substr(0, comma));
      const std::string ys = TrimSpace(value.substr(comma + 1));
      const double x = std::stod(xs, &usedX);
      const double y = std::stod(ys, &usedY);
      if (usedX == xs.size() && usedY == ys.size() && x >= 0 && x <= 1 && y >= 0 && y <= 1) {
        s.request.titleFreePos = {x, y};
        return;
      }
    } catch (const std::exception&) {
      // not two numbers: reported below
    }
  }
  throw TBadArgument(option + ": unknown value \"" + value + "\"; accepted: " + Joined(kTitlePositions) +
                     ", or X,Y (the title's centre, each 0 to 1)");
}

void ApplyTitleFont(TState& s, const std::string& option, const std::string& value) {
  const std::string lower = ToLowerAscii(value);
  s.request.titleFont.clear();
  for (const std::string& font : kOwnFonts) {
    if (lower == font) return SetControl(s, option, "titleFont", font);
  }
  if (TrimSpace(value).empty()) {
    throw TBadArgument(option + ": empty; accepted: " + Joined(kOwnFonts) + ", or an installed font's name");
  }
  // An installed font: whether it is installed is checked with the other inputs.
  s.request.titleFont = TrimSpace(value);
}

void ApplyFavourites(TState& s, const std::string& option, const std::string& value) {
  std::vector<std::string> names;
  std::stringstream list(value);
  for (std::string name; std::getline(list, name, ',');) {
    name = TrimSpace(name);
    if (name.empty()) continue;
    for (const std::string& earlier : names) {
      if (earlier == name) throw TBadArgument(option + ": \"" + name + "\" is named twice");
    }
    names.push_back(name);
  }
  if (names.size() > kMaxFavourites) throw TBadArgument(option + ": at most 5 favourites");
  s.request.favourites = names;
}

void ApplySeed(TState& s, const std::string& option, const std::string& value) {
  const bool digits =
      !value.empty() && value.size() <= 10 && value.find_first_not_of("0123456789") == std::string::npos;
  const unsigned long long n = digits ? std::stoull(value) : 0;
  if (!digits || n > 0xFFFFFFFFull) throw TBadArgument(option + ": accepted: a whole number from 0 to 4294967295");
  s.request.seed = static_cast<std::uint32_t>(n);
}

void ApplySpeed(TState& s, const std::string& option, const std::string& value) {
  // The page's speed slider runs from 25 to 200 in steps of 5 (percent of normal).
  double rate = 0;
  std::size_t used = 0;
  try {
    rate = std::stod(value, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  const long percent = std::lround(rate * 100);
  if (used != value.size() || value.empty() || std::fabs(rate * 100 - percent) > 1e-6 || percent < 25 ||
      percent > 200 || percent % 5 != 0) {
    throw TBadArgument(option + ": unknown value \"" + value + "\"; accepted: 0.25 to 2 in steps of 0.05");
  }
  SetControl(s, option, "videoSpeed", std::to_string(percent));
}

void ApplyDensity(TState& s, const std::string& option, const std::string& value) {
  const std::optional<int> n = SteppedInt(value, -100, 100, 5);
  if (!n) throw TBadArgument(option + ": unknown value \"" + value + "\"; accepted: -100 to 100 in steps of 5");
  SetControl(s, option, "densitySlider", std::to_string(*n));
}

TOptionRow ChoiceOption(std::string name, unsigned scope, std::string help, std::string control,
                         std::vector<std::string> values, std::vector<std::string> pageValues) {
  TApply apply = Choice(control, values, pageValues);
  TBatchChoices choices{name, control, pageValues.empty() ? values : pageValues};
  return {std::move(name), true, scope, std::move(help), std::move(apply), std::move(choices)};
}

std::string Absolute(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
  return absolute.empty() ? path : absolute.lexically_normal().string();
}

// The options, in the order of the usage text. "--photo-folder=" is shared
// with the window's start-up; the others are the batch render's own.
const std::vector<TOptionRow>& BatchOptionRows() {
  static const std::vector<TOptionRow> rows = {
      {"--render", true, kAny, "OUT  render without a window into OUT: .png, .jpg, .mp4 or .pdf",
       [](TState& s, const std::string&, const std::string& v) { s.request.outputPath = v; }},
      {"--photo-folder", true, kAny, "DIR  the photos (sub-folders included)",
       [](TState& s, const std::string&, const std::string& v) { s.request.photoFolder = v; }},
      {"--size", true, kAny,
       "SIZE  output size: fhd (default), uhd, wqhd, xga, sp, iphone, spq, video-post, insta45, insta11, insta34, "
       "insta191, display, or WIDTHxHEIGHT (320 to 8192 each)",
       ApplySize},
      ChoiceOption("--photo-size", kScatter, "xl|l|m|s  size of the prints (default l)", "chekiSize",
                   {"xl", "l", "m", "s"}, {"xxl", "l", "m", "s"}),
      {"--density", true, kScatter, "N  how closely prints lie, -100 to 100 in steps of 5 (default 0)", ApplyDensity},
      {"--no-repeat", false, kScatter, "  every photo once, none repeated", Switch("chkNoRepeat")},
      ChoiceOption("--emphasis", kScatter, "none|slight|large  how much larger favourites lie (default none)",
                   "starEmphasisMode", {"none", "slight", "large"}, {}),
      {"--monochrome-others", false, kScatter, "  all prints but the favourites in monochrome", Switch("chkStarDim")},
      {"--translucent-others", false, kScatter, "  with --monochrome-others: those prints translucent too",
       Switch("chkStarDimTranslucent")},
      ChoiceOption("--background", kAny,
                   "KEY  the desk: gray (default), wood, leather, steel, almite, blackboard, cork, linen, marble, "
                   "marbleblack, washi, tatami, whiteboard",
                   "bgSelect",
                   {"gray", "wood", "leather", "steel", "almite", "blackboard", "cork", "linen", "marble",
                    "marbleblack", "washi", "tatami", "whiteboard"},
                   {}),
      {"--background-image", true, kAny, "FILE  your own picture (.jpg, .png, .bmp) as the desk",
       [](TState& s, const std::string&, const std::string& v) { s.request.backgroundImage = v; }},
      ChoiceOption("--frame", kScatter, "KEY  cheki (default), square, stamp, tape, pin, magnet, vintage",
                   "frameSelect", {"cheki", "square", "stamp", "tape", "pin", "magnet", "vintage"}, {}),
      ChoiceOption("--filter", kAny, "KEY  none (default), mono, sepia, retro, cool, warm", "filterSelect",
                   {"none", "mono", "sepia", "retro", "cool", "warm"}, {}),
      ChoiceOption("--caption", kAny, "none|file|memo  captions under the prints (default none)", "captionMode",
                   {"none", "file", "memo"}, {}),
      ChoiceOption("--caption-font", kAny, "KEY  gothic (default), meiryo, mincho, yomogi, yusei, mochiy, hachimaru",
                   "captionFont", kOwnFonts, {}),
      ChoiceOption("--caption-size", kAny, "s|m|l  (default m)", "captionSize", {"s", "m", "l"}, {}),
      {"--memos", false, kAny, "  also import the folder's .txt and .md memos as memo prints",
       [](TState& s, const std::string&, const std::string&) { s.request.memos = true; }},
      {"--title", true, kStill, "TEXT  a title on the picture (at most 80 characters)",
       Text("imageTitle", kMaxImageTitle)},
      {"--title-font", true, kStill | kScatterVideo,
       "FONT  gothic (default), one of the caption fonts, or an installed font", ApplyTitleFont},
      ChoiceOption("--title-size", kStill, "PX  24, 32, 40, 48, 64 (default), 80, 96, 128 (for 1920 x 1080, scaled)",
                   "titleSize", {"24", "32", "40", "48", "64", "80", "96", "128"}, {}),
      ChoiceOption("--title-style", kStill, "regular|bold|italic|bolditalic  (default bold)", "titleStyle",
                   {"regular", "bold", "italic", "bolditalic"}, {}),
      {"--title-color", true, kStill | kScatterVideo, "auto|#RRGGBB  (default auto)", ApplyTitleColor},
      {"--title-position", true, kStill,
       "POS  top-left ... bottom-right (default bottom-center), or X,Y: the title's centre, each 0 to 1",
       ApplyTitlePosition},
      {"--favourites", true, kAny, "NAME,...  up to 5 photos by file name, starred in this order", ApplyFavourites},
      {"--motion", true, kVideo, "drop|sway|album  how the video moves (default drop)",
       [](TState& s, const std::string& option, const std::string& v) {
         Choice("videoMotion", {"drop", "sway", "album"})(s, option, v);
         s.motion = ToLowerAscii(v);
       }},
      {"--speed", true, kVideo, "RATE  0.25 to 2 in steps of 0.05 (default 1)", ApplySpeed},
      {"--video-title", true, kVideo | kPdf, "TEXT  the opening title, or the album's cover title (at most 40)",
       Text("videoTitle", kMaxVideoTitle)},
      {"--spotlight", false, kScatterVideo, "  end the video on the first favourite", Switch("videoSpotlight")},
      ChoiceOption("--album-cover", kAlbum, "cloth|leather|paper|scatter  (default cloth)", "albumCover",
                   {"cloth", "leather", "paper", "scatter"}, {}),
      ChoiceOption("--album-mat", kAlbum, "black|white|kraft|ledger  (default black)", "albumMat",
                   {"black", "white", "kraft", "ledger"}, {}),
      ChoiceOption("--album-photos-per-page", kAlbum, "auto|1|2|3|4|6|9  (default auto)", "albumPp",
                   {"auto", "1", "2", "3", "4", "6", "9"}, {}),
      ChoiceOption("--album-fit", kAlbum, "fit|crop  whole photos or square crops (default fit)", "albumFit",
                   {"fit", "crop"}, {}),
      ChoiceOption("--album-mount", kAlbum, "pocket|corner|tape  (default pocket)", "albumMount",
                   {"pocket", "corner", "tape"}, {}),
      ChoiceOption("--album-tape", kAlbum, "none|fuji|sunflower|sakura|stars|shinkansen|dots|auto  (default none)",
                   "albumTapePattern", {"none", "fuji", "sunflower", "sakura", "stars", "shinkansen", "dots", "auto"},
                   {}),
      ChoiceOption("--album-stars", kAlbum, "none|coverstar1|featurepages|both  (default none)", "albumStar",
                   {"none", "coverstar1", "featurepages", "both"}, {"none", "coverStar1", "featurePages", "both"}),
      ChoiceOption("--paper", kPdf, "a4|letter  the PDF's paper (default: the region's)", "pdfPaper", {"a4", "letter"},
                   {}),
      {"--pdf-background", true, kPdf, "white|mat  pages on white, or on the mat's colour (default white)",
       [](TState& s, const std::string& option, const std::string& v) {
         const std::string lower = ToLowerAscii(v);
         if (lower != "white" && lower != "mat") {
           throw TBadArgument(option + ": unknown value \"" + v + "\"; accepted: white, mat");
         }
         SetControl(s, option, "pdfWhite", lower == "white");
       }},
      {"--seed", true, kAny, "N  the same N gives the same pile (0 to 4294967295; default: a new pile each time)",
       ApplySeed},
      {"--set-as-wallpaper", false, kStill, "  afterwards, make the picture the desktop wallpaper",
       [](TState& s, const std::string&, const std::string&) { s.request.setAsWallpaper = true; }},
      {"--quiet", false, kAny, "  no progress on stderr (errors are still printed)",
       [](TState& s, const std::string&, const std::string&) { s.request.quiet = true; }},
  };
  return rows;
}

// Options of the window that a batch render leaves as they are.
const std::vector<std::string> kWindowOptionsAllowed = {"--web-from-disk", "--automation"};

// The output kind of a path, or nothing for an extension no kind has.
std::optional<TBatchOutput> OutputOf(const std::string& path) {
  const std::string ext = LowerExtension(path);
  if (ext == ".png") return TBatchOutput::boPng;
  if (ext == ".jpg" || ext == ".jpeg") return TBatchOutput::boJpeg;
  if (ext == ".mp4") return TBatchOutput::boMp4;
  if (ext == ".pdf") return TBatchOutput::boPdf;
  return std::nullopt;
}

unsigned ScopeOf(const TBatchRequest& request) {
  if (request.output == TBatchOutput::boPdf) return kPdf;
  if (request.output == TBatchOutput::boMp4) return request.album ? kAlbumVideo : kScatterVideo;
  return kStill;
}

std::string ScopeName(unsigned scope) {
  if (scope == kPdf) return "album PDFs (.pdf)";
  if (scope == kAlbumVideo) return "album videos (.mp4 with --motion=album)";
  if (scope == kScatterVideo) return "videos of a pile (.mp4)";
  return "still pictures (.png, .jpg)";
}

void Check(TState& s, const std::set<const TOptionRow*>& given) {
  TBatchRequest& r = s.request;
  if (r.outputPath.empty()) throw TBadArgument("--render: give the output file, e.g. --render=pile.png");
  const std::optional<TBatchOutput> output = OutputOf(r.outputPath);
  if (!output) {
    throw TBadArgument("--render: unknown kind of file \"" + LowerExtension(r.outputPath) +
                       "\"; accepted: .png, .jpg, .jpeg, .mp4, .pdf");
  }
  r.output = *output;
  if (r.photoFolder.empty()) throw TBadArgument("--photo-folder: give the folder of photos to use");
  r.album = r.output == TBatchOutput::boPdf || (r.output == TBatchOutput::boMp4 && s.motion == "album");
  const unsigned scope = ScopeOf(r);
  for (const TOptionRow* row : given) {
    if (!(row->scope & scope)) throw TBadArgument(row->name + ": does not apply to " + ScopeName(scope));
  }
  if (!r.backgroundImage.empty()) {
    for (const TBatchControl& c : r.controls) {
      if (c.control == "bgSelect") throw TBadArgument("--background-image: give either it or --background");
    }
  }
  if (r.album) {
    // The album is the page's own mode; its motion is never a control value.
    std::erase_if(r.controls, [](const TBatchControl& c) { return c.control == "videoMotion"; });
  }
  r.outputPath = Absolute(r.outputPath);
  r.photoFolder = Absolute(r.photoFolder);
  if (!r.backgroundImage.empty()) r.backgroundImage = Absolute(r.backgroundImage);
}

}  // namespace

TBatchArguments ParseBatchArguments(const std::vector<std::string>& args) {
  TBatchArguments result;
  bool render = false;
  for (const std::string& arg : args) {
    if (EqualsNoCase(arg, "--help") || EqualsNoCase(arg, "-h")) {
      result.kind = TBatchArguments::bkHelp;
      return result;
    }
    render = render || StartsWithNoCase(arg, "--render=");
  }
  if (!render) return result;

  TState state;
  std::set<const TOptionRow*> given;
  try {
    for (const std::string& arg : args) {
      const std::size_t equals = arg.find('=');
      const std::string name = ToLowerAscii(arg.substr(0, equals));
      const TOptionRow* match = nullptr;
      for (const TOptionRow& row : BatchOptionRows()) {
        if (row.name == name) match = &row;
      }
      if (!match) {
        bool allowed = false;
        for (const std::string& option : kWindowOptionsAllowed) allowed = allowed || EqualsNoCase(arg, option);
        if (allowed) continue;
        throw TBadArgument(arg.rfind("--", 0) == 0 ? name + ": not an option of a batch render"
                                                   : "\"" + arg + "\": not an option (options begin with --)");
      }
      if (match->takesValue != (equals != std::string::npos)) {
        throw TBadArgument(match->takesValue ? name + ": give a value, as " + name + "=..."
                                             : name + ": takes no value");
      }
      const std::string value = equals == std::string::npos ? "" : arg.substr(equals + 1);
      match->apply(state, name, value);
      given.insert(match);
    }
    Check(state, given);
  } catch (const TBadArgument& error) {
    result.kind = TBatchArguments::bkError;
    result.error = error.what();
    return result;
  }
  result.kind = TBatchArguments::bkRun;
  result.request = std::move(state.request);
  return result;
}

std::string BatchUsage() {
  std::string text =
      "Usage: TessaryMaker [OPTION...]\n"
      "Without --render the generator window opens. Its options:\n"
      "  --photo-folder=DIR  open with the photos of DIR (sub-folders included)\n"
      "  --web-from-disk  serve the page from the web folder, with the developer tools\n"
      "  --pdf-out=DIR  save album PDFs into DIR without asking where\n"
      "  --kiro-out=FILE  save a live wallpaper package to FILE without asking where\n"
      "  --open-album=ID  open a saved creation\n"
      "  --ipc=stop|start|quit|launch  send one action to the live wallpaper and end\n"
      "  --ipc-out=FILE  with --ipc: write the result there\n"
      "  --handoff-selftest=FILE  check the live wallpaper's hand-over store, write the result, end\n"
      "\n"
      "Batch render: a pile made without a window, the file written, then the program ends.\n"
      "Settings not given are the page's defaults. Exit codes: 0 done, 1 failed, 2 bad arguments,\n"
      "3 no usable photos, 4 the output could not be written.\n";
  for (const TOptionRow& row : BatchOptionRows()) {
    const std::size_t gap = row.help.find("  ");
    const std::string value = gap == 0 ? "" : "=" + row.help.substr(0, gap);
    text += "  " + row.name + value + "  " + row.help.substr(gap + 2) + "\n";
  }
  text += "  --help  this text\n";
  return text;
}

std::vector<TBatchChoices> BatchControlChoices() {
  std::vector<TBatchChoices> all;
  for (const TOptionRow& row : BatchOptionRows()) {
    if (!row.choices.control.empty()) all.push_back(row.choices);
  }
  return all;
}

const char* BatchOutputName(TBatchOutput output) {
  switch (output) {
    case TBatchOutput::boPng:
      return "PNG";
    case TBatchOutput::boJpeg:
      return "JPEG";
    case TBatchOutput::boMp4:
      return "MP4";
    case TBatchOutput::boPdf:
      return "PDF";
  }
  return "";
}

TJson BatchRequestJson(const TBatchRequest& request) {
  static const char* const kFormats[] = {"png", "jpeg", "mp4", "pdf"};
  TJson json = TJson::object();
  json["output"] = kFormats[static_cast<int>(request.output)];
  json["mode"] = request.album ? "album" : "scatter";
  TJson controls = TJson::array();
  for (const TBatchControl& c : request.controls) {
    TJson control = TJson::object();
    control["option"] = c.option;
    control["id"] = c.control;
    control["value"] = c.value;
    controls.push_back(control);
  }
  json["controls"] = controls;
  json["titleColor"] = request.titleColor.empty() ? TJson() : TJson(request.titleColor);
  json["titlePosition"] = request.titlePosition.empty() ? TJson() : TJson(request.titlePosition);
  if (request.titleFreePos) {
    TJson pos = TJson::object();
    pos["x"] = request.titleFreePos->first;
    pos["y"] = request.titleFreePos->second;
    json["titleFreePos"] = pos;
  } else {
    json["titleFreePos"] = TJson();
  }
  json["titleFont"] = request.titleFont.empty() ? TJson() : TJson("sys:" + request.titleFont);
  json["favourites"] = request.favourites;
  json["memos"] = request.memos;
  json["seed"] = request.seed ? TJson(*request.seed) : TJson();
  json["wallpaper"] = request.setAsWallpaper;
  return json;
}
