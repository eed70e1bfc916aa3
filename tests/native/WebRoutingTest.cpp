#include <gtest/gtest.h>

#include <filesystem>

#include "shared/CreationId.h"
#include "shared/HeicConversion.h"
#include "shared/TextUtil.h"
#include "shared/WebAssets.h"
#include "shared/WebRouting.h"
#include "tests/native/FakePlatform.h"

namespace {

using THeaders = std::vector<std::pair<std::string, std::string>>;

class WebRouting : public ::testing::Test {
 protected:
  void SetUp() override {
    photos.Write("beach.jpg", "jpeg bytes");
    photos.Write("Sub Folder/写真.png", "png bytes");
    photos.Write("odd.webp", "webp bytes");
    photos.Write("two..dots.jpg", "x");
    photos.Write("scan.BMP", "bmp");
    photos.Write("phone.HEIC", "IMG 4032 3024");
    photos.Write("broken.heic", "garbage");
    photos.Write("huge.heif", "IMG 12001 800");
    photos.Write("enormous.heic", "IMG 400 300");
    std::filesystem::resize_file(photos.Path() / "enormous.heic", kMaxConvertFileBytes + 1);
    temp.Write("abc-1_X.jpg", "converted");
    temp.Write("short", "x");
    album.Write("cover photo.jpg", "album bytes");
    album.Write("trip/day 1/beach.jpg", "sub-folder bytes");
    outside.Write("secret.jpg", "secret");
    livePictures[7] = Bytes("live seven");
    livePictures[3] = {};

    context.photoDir = photos.Path().string();
    context.heicTempDir = temp.Path().string();
    context.albumFilesDir = album.Path().string();
    context.codec = &codec;
    context.livePhoto = [this](int index) -> const std::vector<std::uint8_t>* {
      const auto found = livePictures.find(index);
      return found == livePictures.end() ? nullptr : &found->second;
    };
  }

  std::string BodyOf(const TWebResponse& response) {
    if (!response.filePath.empty()) return ReadText(response.filePath);
    if (!response.resource.empty()) return std::string(response.resource.begin(), response.resource.end());
    return std::string(response.body.begin(), response.body.end());
  }

  TTempDir photos;
  TTempDir temp;
  TTempDir album;
  TTempDir outside;
  TFakeCodec codec;
  std::map<int, std::vector<std::uint8_t>> livePictures;
  TWebRouteContext context;
};

struct TRouteCase {
  std::string uri;
  int status;
  std::string reason;
  THeaders headers;
  std::string body;
};

const THeaders kCors = {{"Access-Control-Allow-Origin", "*"}};
const THeaders kJpeg = {{"Content-Type", "image/jpeg"}, {"Access-Control-Allow-Origin", "*"}};

TEST_F(WebRouting, AnswersPhotosLivePicturesAlbumFilesAndBlocksTheRest) {
  const TRouteCase cases[] = {
      {"tessary-photo://photo/beach.jpg", 200, "OK", kJpeg, "jpeg bytes"},
      {"TESSARY-PHOTO://PHOTO/beach.jpg?v=2", 200, "OK", kJpeg, "jpeg bytes"},
      {"tessary-photo://photo/Sub%20Folder/%E5%86%99%E7%9C%9F.png", 200, "OK",
       {{"Content-Type", "image/png"}, {"Access-Control-Allow-Origin", "*"}}, "png bytes"},
      {"tessary-photo://photo/Sub+Folder/%E5%86%99%E7%9C%9F.png", 200, "OK",
       {{"Content-Type", "image/png"}, {"Access-Control-Allow-Origin", "*"}}, "png bytes"},
      {"tessary-photo://photo/scan.BMP", 200, "OK",
       {{"Content-Type", "image/bmp"}, {"Access-Control-Allow-Origin", "*"}}, "bmp"},
      {"tessary-photo://photo/odd.webp", 200, "OK",
       {{"Content-Type", "application/octet-stream"}, {"Access-Control-Allow-Origin", "*"}}, "webp bytes"},
      {"tessary-photo://photo/phone.HEIC", 200, "OK", kJpeg, "JPEG 4032x3024 q92"},
      {"tessary-photo://photo/broken.heic", 415, "HEIC codec unavailable", kCors, ""},
      {"tessary-photo://photo/huge.heif", 415, "HEIC codec unavailable", kCors, ""},
      {"tessary-photo://photo/enormous.heic", 415, "HEIC codec unavailable", kCors, ""},
      {"tessary-photo://photo/missing.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/two..dots.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/%2E%2E/" + outside.Path().filename().string() + "/secret.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo//etc/passwd", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/%2Fetc%2Fpasswd", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/%5Cevil.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/c:beach.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/beach.jpg%00.png", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/Sub%20Folder", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/__temp/abc-1_X.jpg", 200, "OK", kJpeg, "converted"},
      {"tessary-photo://photo/__TEMP/abc-1_X.jpg", 200, "OK", kJpeg, "converted"},
      {"tessary-photo://photo/__temp/abc-1_X.JPG", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/__temp/short", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/__temp/../x.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/__temp/abc-1_X.jpg?v=1", 404, "Not Found", kCors, ""},
      {"tessary-live://live/7", 200, "OK",
       {{"Content-Type", "image/jpeg"}, {"Access-Control-Allow-Origin", "*"}, {"Cache-Control", "no-store"}},
       "live seven"},
      {"tessary-live://live/7?t=123", 200, "OK",
       {{"Content-Type", "image/jpeg"}, {"Access-Control-Allow-Origin", "*"}, {"Cache-Control", "no-store"}},
       "live seven"},
      {"tessary-live://live/3", 404, "Not Found",
       {{"Content-Type", "text/plain"}, {"Access-Control-Allow-Origin", "*"}}, ""},
      {"tessary-live://live/seven", 404, "Not Found",
       {{"Content-Type", "text/plain"}, {"Access-Control-Allow-Origin", "*"}}, ""},
      {"tessary-live://live/", 404, "Not Found",
       {{"Content-Type", "text/plain"}, {"Access-Control-Allow-Origin", "*"}}, ""},
      {"tessary-album://album/cover%20photo.jpg", 200, "OK", kJpeg, "album bytes"},
      {"tessary-album://album/cover+photo.jpg", 200, "OK", kJpeg, "album bytes"},
      {"tessary-album://album/..", 404, "Not Found", kCors, ""},
      {"tessary-album://album/..%2F..%2Fsecret.jpg", 404, "Not Found", kCors, ""},
      {"tessary-album://album/a%5Cb.jpg", 404, "Not Found", kCors, ""},
      // Photos from sub-folders of a creation keep their relative path.
      {"tessary-album://album/trip/day%201/beach.jpg", 200, "OK", kJpeg, "sub-folder bytes"},
      {"tessary-album://album/trip%2Fday+1%2Fbeach.jpg", 200, "OK", kJpeg, "sub-folder bytes"},
      {"tessary-album://album/trip/../../" + outside.Path().filename().string() + "/secret.jpg", 404, "Not Found",
       kCors, ""},
      {"tessary-album://album/%2F" + outside.Path().string().substr(1) + "/secret.jpg", 404, "Not Found", kCors, ""},
      {"tessary-album://album/trip//day%201/beach.jpg", 404, "Not Found", kCors, ""},
      {"tessary-album://album/trip/day%201/beach.jpg%00.png", 404, "Not Found", kCors, ""},
      {"tessary-album://album/" + std::string(129, 'a'), 404, "Not Found", kCors, ""},
      {"https://example.com/x.png", 403, "Blocked by Tessary",
       {{"Content-Type", "text/plain; charset=utf-8"}, {"Cache-Control", "no-store"}}, ""},
      {"tessary-photo://elsewhere/beach.jpg", 403, "Blocked by Tessary",
       {{"Content-Type", "text/plain; charset=utf-8"}, {"Cache-Control", "no-store"}}, ""},
      {"tessary-app://app", 403, "Blocked by Tessary",
       {{"Content-Type", "text/plain; charset=utf-8"}, {"Cache-Control", "no-store"}}, ""},
  };
  for (const TRouteCase& c : cases) {
    TWebResponse response = RouteWebRequest(c.uri, context);
    // Conversions are made later, off the window's thread.
    EXPECT_EQ(static_cast<bool>(response.makeLater), c.uri.find("heic") != std::string::npos ||
                                                         c.uri.find("HEIC") != std::string::npos ||
                                                         c.uri.find("heif") != std::string::npos) << c.uri;
    if (response.makeLater) response = response.makeLater();
    EXPECT_TRUE(response.answered) << c.uri;
    EXPECT_EQ(response.status, c.status) << c.uri;
    EXPECT_EQ(response.reason, c.reason) << c.uri;
    EXPECT_EQ(response.headers, c.headers) << c.uri;
    EXPECT_EQ(BodyOf(response), c.body) << c.uri;
  }
}

TEST_F(WebRouting, OriginsWithoutAFolderAnswerNotFound) {
  context.photoDir.clear();
  context.albumFilesDir.clear();
  context.livePhoto = nullptr;
  for (const char* uri : {"tessary-photo://photo/beach.jpg", "tessary-album://album/cover%20photo.jpg",
                          "tessary-live://live/7"}) {
    EXPECT_EQ(RouteWebRequest(uri, context).status, 404) << uri;
  }
  // Converted pictures stay reachable when no photo folder is set.
  EXPECT_EQ(RouteWebRequest("tessary-photo://photo/__temp/abc-1_X.jpg", context).status, 200);
}

TEST_F(WebRouting, PageOriginServesEmbeddedRowsOrFallsThrough) {
  EXPECT_EQ(PageAssetPath("tessary-app://app/"), "index.html");
  EXPECT_EQ(PageAssetPath("tessary-app://app/?lang=en"), "index.html");
  EXPECT_EQ(PageAssetPath("TESSARY-APP://APP/JS/APP.JS?x#y"), "JS/APP.JS");

  for (const TWebAsset& row : WebAssetTable()) {
    const std::string upper = "tessary-app://app/" + ToUpperAscii(row.path) + "?v=1";
    const TWebResponse response = RouteWebRequest(upper, context);
    const auto resource = FindWebResource(row.resourceName);
    ASSERT_EQ(response.answered, resource.has_value()) << row.path;
    if (!resource) continue;
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.headers, (THeaders{{"Content-Type", std::string(row.contentType)}, {"Cache-Control", "no-store"}}));
    EXPECT_EQ(response.resource.data(), resource->data());
  }
  EXPECT_FALSE(RouteWebRequest("tessary-app://app/not-in-table.js", context).answered);

  context.webFromDisk = true;
  EXPECT_FALSE(RouteWebRequest("tessary-app://app/js/bridge.js", context).answered);
}

TEST_F(WebRouting, WebFolderStandInServesFilesInsideIt) {
  TTempDir web;
  web.Write("index.html", "<html>");
  web.Write("js/extra.js", "x()");
  outside.Write("secret.txt", "no");
  const std::string dir = web.Path().string();

  const TWebResponse index = AnswerFromWebFolder("tessary-app://app/?a=1", dir);
  EXPECT_EQ(index.status, 200);
  EXPECT_EQ(*index.Header("content-type"), "text/html; charset=utf-8");
  EXPECT_EQ(BodyOf(index), "<html>");
  EXPECT_EQ(*AnswerFromWebFolder("tessary-app://app/js/extra.js", dir).Header("Content-Type"),
            "text/javascript; charset=utf-8");
  EXPECT_EQ(AnswerFromWebFolder("tessary-app://app/missing.css", dir).status, 404);
  EXPECT_EQ(AnswerFromWebFolder("tessary-app://app/..%2F" + outside.Path().filename().string() + "%2Fsecret.txt", dir)
                .status,
            404);
  EXPECT_EQ(AnswerFromWebFolder("tessary-app://app/js", dir).status, 404);
  EXPECT_FALSE(AnswerFromWebFolder("tessary-photo://photo/index.html", dir).answered);
  EXPECT_EQ(index.HeaderText(), "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store");
}

// The names a creation stores for its photos: relative paths inside its
// folder, never a way out of it.
TEST(StoredPhotoNames, AllowSubFoldersButNoWayOut) {
  for (const std::string& name : std::vector<std::string>{"a.jpg", "trip/day 1/beach.jpg", "写真/夏.png", "..a.jpg", "a..b/c.jpg",
                                 std::string(128, 'x'), std::string(120, 'x') + "/写真.jpg"}) {
    EXPECT_TRUE(IsValidStoredPhotoName(name)) << name;
  }
  for (const std::string& name : std::vector<std::string>{"", ".", "..", "../a.jpg", "a/../../b.jpg", "a/..", "/etc/passwd", "a/", "a//b.jpg",
                                 "./a.jpg", "a\\b.jpg", "c:a.jpg", std::string("a\0b.jpg", 7), std::string(129, 'x')}) {
    EXPECT_FALSE(IsValidStoredPhotoName(name)) << name;
  }
}

TEST_F(WebRouting, ChoosesPhotoFilesWithoutLeavingTheFolder) {
  const std::string dir = photos.Path().string();
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/a/b.jpg?x", dir, "/t"), dir + "/a/b.jpg");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/__temp/r1.jpg", "", "/t"), "/t/r1.jpg");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/__temp/" + std::string(61, 'a') + ".jpg", dir, "/t"), "");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/__temp/" + std::string(60, 'a') + ".jpg", dir, "/t"),
            "/t/" + std::string(60, 'a') + ".jpg");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/a/%2e%2e/b.jpg", dir, "/t"), "");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/", dir, "/t"), "");
}

}  // namespace
