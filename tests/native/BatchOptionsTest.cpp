#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

#include "generator/BatchOptions.h"
#include "shared/WebAssets.h"

namespace {

TBatchArguments Parse(std::vector<std::string> args) { return ParseBatchArguments(args); }

// The page controls a request sets, by control id.
std::map<std::string, TJson> Controls(const TBatchRequest& request) {
  std::map<std::string, TJson> out;
  for (const TBatchControl& c : request.controls) out[c.control] = c.value;
  return out;
}

TEST(BatchOptions, OnlyRenderOrHelpMakesABatchRender) {
  EXPECT_EQ(Parse({"--photo-folder=/p", "--frame=tape"}).kind, TBatchArguments::bkNone);
  EXPECT_EQ(Parse({"--render=/o.png", "--help"}).kind, TBatchArguments::bkHelp);
  EXPECT_EQ(Parse({"--RENDER=/o.png", "--Photo-Folder=/p"}).kind, TBatchArguments::bkRun);
}

TEST(BatchOptions, ValuesBecomeThePageControlsValues) {
  const TBatchArguments a =
      Parse({"--render=/out/pile.JPEG", "--photo-folder=/photos/", "--size=3840x2160", "--photo-size=XL",
             "--density=-35", "--no-repeat", "--frame=Tape", "--frame=stamp", "--caption=file", "--title=Kyoto 祇園",
             "--title-position=0.25,1", "--title-color=#A0B1C2", "--favourites=b.jpg, sub/a.jpg", "--seed=4294967295",
             "--set-as-wallpaper", "--quiet", "--web-from-disk"});
  ASSERT_EQ(a.kind, TBatchArguments::bkRun) << a.error;
  const TBatchRequest& r = a.request;
  EXPECT_EQ(r.output, TBatchOutput::boJpeg);
  EXPECT_FALSE(r.album);
  EXPECT_EQ(r.outputPath, "/out/pile.JPEG");
  EXPECT_EQ(r.photoFolder, "/photos/");
  const auto c = Controls(r);
  EXPECT_EQ(c.at("sizePreset"), "custom");
  EXPECT_EQ(c.at("customW"), "3840");
  EXPECT_EQ(c.at("customH"), "2160");
  EXPECT_EQ(c.at("chekiSize"), "xxl");
  EXPECT_EQ(c.at("densitySlider"), "-35");
  EXPECT_EQ(c.at("chkNoRepeat"), true);
  EXPECT_EQ(c.at("frameSelect"), "stamp");  // the last value wins
  EXPECT_EQ(c.at("imageTitle"), "Kyoto 祇園");
  EXPECT_EQ(r.titleColor, "#a0b1c2");
  ASSERT_TRUE(r.titleFreePos);
  EXPECT_EQ(*r.titleFreePos, std::make_pair(0.25, 1.0));
  EXPECT_EQ(r.favourites, (std::vector<std::string>{"b.jpg", "sub/a.jpg"}));
  EXPECT_EQ(r.seed, 4294967295u);
  EXPECT_TRUE(r.setAsWallpaper);
  EXPECT_TRUE(r.quiet);

  const TJson json = BatchRequestJson(r);
  EXPECT_EQ(json["output"], "jpeg");
  EXPECT_EQ(json["mode"], "scatter");
  EXPECT_EQ(json["titleFreePos"]["x"], 0.25);
  EXPECT_EQ(json["controls"][0]["option"], "--size");
}

TEST(BatchOptions, AlbumAndVideoSettings) {
  const TBatchArguments pdf = Parse({"--render=a.pdf", "--photo-folder=p", "--album-stars=coverStar1",
                                     "--pdf-background=mat", "--paper=letter", "--video-title=Trip"});
  ASSERT_EQ(pdf.kind, TBatchArguments::bkRun) << pdf.error;
  EXPECT_TRUE(pdf.request.album);
  EXPECT_EQ(BatchRequestJson(pdf.request)["mode"], "album");
  EXPECT_EQ(Controls(pdf.request).at("albumStar"), "coverStar1");
  EXPECT_EQ(Controls(pdf.request).at("pdfWhite"), false);
  // Paths are made absolute against the current folder.
  EXPECT_TRUE(pdf.request.outputPath.starts_with("/"));

  const TBatchArguments video = Parse({"--render=v.mp4", "--photo-folder=p", "--motion=album", "--speed=1.25"});
  ASSERT_EQ(video.kind, TBatchArguments::bkRun) << video.error;
  EXPECT_TRUE(video.request.album);
  EXPECT_EQ(Controls(video.request).at("videoSpeed"), "125");
  EXPECT_EQ(Controls(video.request).count("videoMotion"), 0u);  // the album is a mode, not a motion

  const TBatchArguments display = Parse({"--render=d.png", "--photo-folder=p", "--size=display"});
  EXPECT_TRUE(display.request.screenSize);
  EXPECT_EQ(Controls(display.request).count("sizePreset"), 0u);
}

TEST(BatchOptions, BadUseNamesTheOptionAndWhatItAccepts) {
  struct TCase {
    std::vector<std::string> args;
    std::string expected;  // a part of the one-line reason
  };
  const std::vector<TCase> cases = {
      {{"--render=o.png", "--photo-folder=p", "--frame=polaroid"}, "--frame: unknown value \"polaroid\"; accepted: cheki, square"},
      {{"--render=o.png", "--photo-folder=p", "--size=0x0"}, "--size: 0x0 is out of range; width and height must each be 320 to 8192"},
      {{"--render=o.png", "--photo-folder=p", "--size=9000x9000"}, "--size: 9000x9000 is out of range"},
      {{"--render=o.png", "--photo-folder=p", "--size=big"}, "--size: unknown value \"big\"; accepted: fhd, sp"},
      {{"--render=o.gif", "--photo-folder=p"}, "--render: unknown kind of file \".gif\"; accepted: .png, .jpg, .jpeg, .mp4, .pdf"},
      {{"--render=", "--photo-folder=p"}, "--render: give the output file"},
      {{"--render=o.png"}, "--photo-folder: give the folder"},
      {{"--render=o.png", "--photo-folder=p", "--speed=1.5"}, "--speed: does not apply to still pictures"},
      {{"--render=o.pdf", "--photo-folder=p", "--motion=drop"}, "--motion: does not apply to album PDFs"},
      {{"--render=o.mp4", "--photo-folder=p", "--paper=a4"}, "--paper: does not apply to videos of a pile"},
      {{"--render=o.mp4", "--photo-folder=p", "--speed=3"}, "--speed: unknown value \"3\"; accepted: 0.25 to 2 in steps of 0.05"},
      {{"--render=o.png", "--photo-folder=p", "--density=7"}, "--density: unknown value \"7\"; accepted: -100 to 100 in steps of 5"},
      {{"--render=o.png", "--photo-folder=p", "--title-position=1.5,0"}, "--title-position: unknown value \"1.5,0\""},
      {{"--render=o.png", "--photo-folder=p", "--favourites=a,b,c,d,e,f"}, "--favourites: at most 5 favourites"},
      {{"--render=o.png", "--photo-folder=p", "--favourites=a,a"}, "--favourites: \"a\" is named twice"},
      {{"--render=o.png", "--photo-folder=p", "--seed=-1"}, "--seed: accepted: a whole number from 0 to 4294967295"},
      {{"--render=o.png", "--photo-folder=p", "--background=wood", "--background-image=x.jpg"}, "give either it or --background"},
      {{"--render=o.png", "--photo-folder=p", "--set-as-wallpaper=yes"}, "--set-as-wallpaper: takes no value"},
      {{"--render=o.png", "--photo-folder=p", "--frame"}, "--frame: give a value"},
      {{"--render=o.png", "--photo-folder=p", "--ipc=stop"}, "--ipc: not an option of a batch render"},
      {{"--render=o.png", "--photo-folder=p", "stray"}, "\"stray\": not an option"},
      {{"--render=o.png", "--photo-folder=p", "--title=" + std::string(81, 'x')}, "--title: at most 80 characters"},
      {{"--render=o.mp4", "--photo-folder=p", "--set-as-wallpaper"}, "--set-as-wallpaper: does not apply to videos"},
  };
  for (const TCase& c : cases) {
    const TBatchArguments a = ParseBatchArguments(c.args);
    EXPECT_EQ(a.kind, TBatchArguments::bkError) << c.expected;
    EXPECT_NE(a.error.find(c.expected), std::string::npos) << a.error;
    EXPECT_EQ(a.error.find('\n'), std::string::npos) << a.error;
  }
}

TEST(BatchOptions, UsageHasOneLinePerOption) {
  const std::string usage = BatchUsage();
  for (const std::string name : {"--render=OUT", "--photo-folder=DIR", "--size=SIZE", "--seed=N", "--quiet",
                                 "--set-as-wallpaper", "--album-stars=", "--ipc=", "--help"}) {
    EXPECT_NE(usage.find("\n  " + name), std::string::npos) << name;
  }
  const std::regex optionLine("^  --[a-z0-9-]+(=\\S+)?  \\S.*$");
  std::size_t lines = 0;
  for (std::size_t at = 0, end; (end = usage.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = usage.substr(at, end - at);
    if (line.starts_with("  -")) {
      ++lines;
      EXPECT_TRUE(std::regex_match(line, optionLine)) << line;
    }
  }
  EXPECT_GT(lines, 40u);
}

// Every value an option passes on is one the page's select offers: the page
// would otherwise fall back to its default without a word.
TEST(BatchOptions, ChoicesAreThoseThePageOffers) {
  const TWebAsset* index = FindWebAsset("index.html");
  ASSERT_NE(index, nullptr);
  const auto bytes = FindWebResource(index->resourceName);
  ASSERT_TRUE(bytes);
  const std::string html(bytes->begin(), bytes->end());
  for (const TBatchChoices& choice : BatchControlChoices()) {
    const std::size_t open = html.find("id=\"" + choice.control + "\"");
    ASSERT_NE(open, std::string::npos) << choice.control;
    const std::size_t close = html.find("</select>", open);
    const std::string select = html.substr(open, close - open);
    std::vector<std::string> offered;
    const std::regex value("<option[^>]*value=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(select.begin(), select.end(), value); it != std::sregex_iterator(); ++it) {
      offered.push_back((*it)[1]);
    }
    for (const std::string& v : choice.pageValues) {
      EXPECT_NE(std::find(offered.begin(), offered.end(), v), offered.end()) << choice.option << "=" << v;
    }
  }
}

}  // namespace
