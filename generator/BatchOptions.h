// The batch render's command line ("--render=OUT" and the settings of the
// page): every argument checked before anything of the desktop starts, so
// that a mistyped value ends the run at once with the option's name and the
// values it accepts. Values that a page control takes are passed on as that
// control's value; the page applies them as if the user had set them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shared/JsonWriter.h"

// How a batch run ends (the process's exit code).
enum class TBatchExit : int {
  beDone = 0,
  beFailed = 1,        // anything else; the reason is printed
  beBadArguments = 2,  // the reason and the usage text are printed
  beNoPhotos = 3,      // the folder holds no photo the page could use
  beCannotWrite = 4,   // the output could not be written
};

// The kind of file, chosen by the output's extension.
enum class TBatchOutput { boPng, boJpeg, boMp4, boPdf };

// One page control set from the command line. `option` names it in errors
// ("--frame"); `value` is a text, or a boolean for a check box.
struct TBatchControl {
  std::string option;
  std::string control;
  TJson value;
};

struct TBatchRequest {
  std::string outputPath;  // --render=, made absolute
  TBatchOutput output = TBatchOutput::boPng;
  bool album = false;       // .pdf, or .mp4 with --motion=album
  std::string photoFolder;  // --photo-folder=, made absolute
  std::vector<TBatchControl> controls;
  bool screenSize = false;    // --size=display: the screen's size, known once the desktop is up
  std::string titleColor;     // "#rrggbb"; empty: automatic
  std::string titlePosition;  // one of the nine; empty: the page's
  std::optional<std::pair<double, double>> titleFreePos;  // --title-position=X,Y
  std::string titleFont;                // a system font's family name (the seven own fonts are controls)
  std::string backgroundImage;          // --background-image=, made absolute
  std::vector<std::string> favourites;  // --favourites=, in star order
  std::optional<std::uint32_t> seed;
  bool memos = false;
  bool setAsWallpaper = false;
  bool quiet = false;
};

struct TBatchArguments {
  enum TKind { bkNone, bkHelp, bkRun, bkError };
  TKind kind = bkNone;  // bkNone: no "--render=" (and no "--help"): not a batch render
  TBatchRequest request;
  std::string error;  // bkError: one line naming the option
};

// Reads the program's arguments (without the program name). Option names
// match ignoring letter case, as the program's other options do; an option
// given twice takes the last value.
TBatchArguments ParseBatchArguments(const std::vector<std::string>& args);

// An option that picks one value of a page's select: the values as the page's
// control names them.
struct TBatchChoices {
  std::string option;
  std::string control;
  std::vector<std::string> pageValues;
};
std::vector<TBatchChoices> BatchControlChoices();

// Every option of the program, one line each.
std::string BatchUsage();

// The request as the page's `batchRender` event carries it (the folder's
// listing and the screen size are added when the page has loaded).
TJson BatchRequestJson(const TBatchRequest& request);

// "PNG", "JPEG", "MP4", "PDF".
const char* BatchOutputName(TBatchOutput output);
