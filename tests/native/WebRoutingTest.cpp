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

TEST_F(WebRouting, PhotosAskedForAWidthAreServedReducedWhenTheyAreLargerJpegs) {
  // SOI, a 4000 × 3000 baseline frame and the scan: all the reduction reads.
  const std::string frame("\xFF\xD8\xFF\xC0\x00\x11\x08\x0B\xB8\x0F\xA0\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01"
                          "\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\xFF\xD9", 33);
  photos.Write("camera.JPG", frame);
  photos.Write("Sub Folder/camera.jpeg", frame);
  album.Write("0001.jpg", frame);
  temp.Write("heic-1.jpg", frame);
  TFakeScalingCodec scaling;
  context.codec = &scaling;
  const std::string reduced = "\xFF\xD8" + kFakeJfif + "200x150x3";
  const std::pair<std::string, std::string> cases[] = {
      {"tessary-photo://photo/camera.JPG?width=200", reduced},
      {"tessary-photo://photo/Sub%20Folder/camera.jpeg?width=200", reduced},
      {"tessary-album://album/0001.jpg?width=200", reduced},
      {"tessary-photo://photo/__temp/heic-1.jpg?width=200", reduced},
      // Not wider than asked, or no JPEG inside: as stored.
      {"tessary-photo://photo/camera.JPG?width=4000", frame},
      {"tessary-photo://photo/beach.jpg?width=200", "jpeg bytes"},
  };
  for (const auto& [uri, body] : cases) {
    TWebResponse later = RouteWebRequest(uri, context);
    ASSERT_TRUE(later.makeLater) << uri << ": reduced off the window's thread";
    const TWebResponse response = later.makeLater();
    EXPECT_EQ(response.status, 200) << uri;
    EXPECT_EQ(response.headers, kJpeg) << uri;
    EXPECT_EQ(BodyOf(response), body) << uri;
  }
  // Pictures of other kinds are served as they are, at once; HEIC as ever.
  const TWebResponse png = RouteWebRequest("tessary-photo://photo/Sub%20Folder/%E5%86%99%E7%9C%9F.png?width=200", context);
  EXPECT_FALSE(png.makeLater);
  EXPECT_EQ(BodyOf(png), "png bytes");
  TWebResponse heic = RouteWebRequest("tessary-photo://photo/phone.HEIC?width=200", context);
  ASSERT_TRUE(heic.makeLater);
  EXPECT_EQ(BodyOf(heic.makeLater()), "JPEG 4032x3024 q92");
  // Outside the folder stays outside, asked for a width or not.
  EXPECT_EQ(RouteWebRequest("tessary-photo://photo/two..dots.jpg?width=200", context).status, 404);
  EXPECT_EQ(RouteWebRequest("tessary-photo://photo/__temp/short?width=200", context).status, 404);
  // A codec that cannot scale: the photo is served as stored.
  context.codec = &codec;
  EXPECT_EQ(BodyOf(RouteWebRequest("tessary-photo://photo/camera.JPG?width=200", context).makeLater()), frame);
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
  const std::string tempDir = temp.Path().string();
  photos.Write("a/b.jpg", "b");
  temp.Write("r1.jpg", "r");
  temp.Write(std::string(60, 'a') + ".jpg", "a");
  temp.Write(std::string(61, 'a') + ".jpg", "a");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/a/b.jpg?x", dir, tempDir), dir + "/a/b.jpg");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/__temp/r1.jpg", "", tempDir), tempDir + "/r1.jpg");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/__temp/" + std::string(61, 'a') + ".jpg", dir, tempDir), "");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/__temp/" + std::string(60, 'a') + ".jpg", dir, tempDir),
            tempDir + "/" + std::string(60, 'a') + ".jpg");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/__temp/r1.jpg", dir, ""), "");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/a/%2e%2e/b.jpg", dir, tempDir), "");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/a/missing.jpg", dir, tempDir), "");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/", dir, tempDir), "");
}

// A folder picked earlier keeps being served under its place, whichever
// folder is the photo folder now; a place never served names nothing.
TEST_F(WebRouting, FoldersServedEarlierKeepTheirPhotos) {
  const std::string dir = photos.Path().string();
  const std::string earlier = outside.Path().string();
  photos.Write("a/b.jpg", "b");
  outside.Write("c.jpg", "c");
  const std::vector<std::string> served{earlier, dir};
  const std::string tempDir = temp.Path().string();
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/__dir/0/c.jpg", dir, tempDir, served), earlier + "/c.jpg");
  EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/__dir/1/a/b.jpg", "", tempDir, served), dir + "/a/b.jpg");
  for (const std::string uri : {"__dir/2/c.jpg", "__dir/-1/c.jpg", "__dir/x/c.jpg", "__dir/0", "__dir/0/../c.jpg",
                                "__dir/1/a/%2e%2e/b.jpg", "__dir/0/a/b.jpg"}) {
    EXPECT_EQ(ChoosePhotoFile("tessary-photo://photo/" + uri, dir, tempDir, served), "") << uri;
  }
  TWebRouteContext context;
  context.photoDir = dir;
  context.servedPhotoDirs = served;
  const TWebResponse answer = RouteWebRequest("tessary-photo://photo/__dir/0/c.jpg", context);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.filePath, earlier + "/c.jpg");
}

// A folder from elsewhere may hold links to anywhere. Only what a link
// resolves to inside its folder is served, on every origin that serves files.
TEST_F(WebRouting, LinksLeadingOutOfTheirFolderAreNotServed) {
  namespace fs = std::filesystem;
  const fs::path secret = outside.Write("secret.jpg", "secret");
  const fs::path secretHeic = outside.Write("secret.heic", "IMG 40 30");
  outside.Write("nested/deep.jpg", "deep secret");
  fs::create_symlink(secret, photos.Path() / "link.jpg");
  fs::create_symlink(secretHeic, photos.Path() / "link.heic");
  fs::create_symlink(outside.Path(), photos.Path() / "away");
  fs::create_symlink(fs::path("..") / outside.Path().filename() / "secret.jpg", photos.Path() / "relative.jpg");
  fs::create_symlink("link.jpg", photos.Path() / "hop.jpg");  // inside, to a link that leaves
  fs::create_symlink("beach.jpg", photos.Path() / "same.jpg");
  fs::create_symlink(photos.Path() / "beach.jpg", photos.Path() / "absolute.jpg");
  fs::create_symlink("Sub Folder", photos.Path() / "inside");
  fs::create_symlink(secret, temp.Path() / "evil.jpg");
  fs::create_symlink(secret, album.Path() / "out.jpg");
  fs::create_symlink("cover photo.jpg", album.Path() / "in.jpg");
  fs::create_symlink(outside.Path(), album.Path() / "trip" / "away");

  const TRouteCase cases[] = {
      {"tessary-photo://photo/link.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/link.heic", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/away/secret.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/away/nested/deep.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/relative.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/hop.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/__temp/evil.jpg", 404, "Not Found", kCors, ""},
      {"tessary-album://album/out.jpg", 404, "Not Found", kCors, ""},
      {"tessary-album://album/trip/away/secret.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/same.jpg", 200, "OK", kJpeg, "jpeg bytes"},
      {"tessary-photo://photo/absolute.jpg", 200, "OK", kJpeg, "jpeg bytes"},
      {"tessary-photo://photo/inside/%E5%86%99%E7%9C%9F.png", 200, "OK",
       {{"Content-Type", "image/png"}, {"Access-Control-Allow-Origin", "*"}}, "png bytes"},
      {"tessary-album://album/in.jpg", 200, "OK", kJpeg, "album bytes"},
  };
  for (const TRouteCase& c : cases) {
    TWebResponse response = RouteWebRequest(c.uri, context);
    if (response.makeLater) response = response.makeLater();
    EXPECT_EQ(response.status, c.status) << c.uri;
    EXPECT_EQ(response.headers, c.headers) << c.uri;
    EXPECT_EQ(BodyOf(response), c.body) << c.uri;
    // What is served is the resolved file, so a link swapped later is not followed.
    if (!response.filePath.empty()) {
      EXPECT_FALSE(fs::is_symlink(response.filePath)) << c.uri;
    }
  }
  // A chosen folder reached through a link of its own is served as usual.
  fs::create_symlink(photos.Path(), outside.Path() / "photos-link");
  context.photoDir = (outside.Path() / "photos-link").string();
  EXPECT_EQ(RouteWebRequest("tessary-photo://photo/beach.jpg", context).status, 200);
  EXPECT_EQ(RouteWebRequest("tessary-photo://photo/link.jpg", context).status, 404);

  TTempDir web;
  web.Write("index.html", "<html>");
  fs::create_symlink(secret, web.Path() / "leak.js");
  fs::create_symlink("index.html", web.Path() / "home.html");
  EXPECT_EQ(AnswerFromWebFolder("tessary-app://app/leak.js", web.Path().string()).status, 404);
  EXPECT_EQ(BodyOf(AnswerFromWebFolder("tessary-app://app/home.html", web.Path().string())), "<html>");
}

// The fragment of an address belongs to the page: "ok.jpg#frag" is ok.jpg.
// A "#" that is part of a name arrives escaped and stays.
TEST_F(WebRouting, AFragmentIsDroppedBeforeRouting) {
  photos.Write("#1 sunset.jpg", "numbered");
  const TRouteCase cases[] = {
      {"tessary-photo://photo/beach.jpg#frag", 200, "OK", kJpeg, "jpeg bytes"},
      {"tessary-photo://photo/beach.jpg?v=1#frag", 200, "OK", kJpeg, "jpeg bytes"},
      {"tessary-photo://photo/beach.jpg#frag?v=1", 200, "OK", kJpeg, "jpeg bytes"},
      {"tessary-photo://photo/%231%20sunset.jpg#", 200, "OK", kJpeg, "numbered"},
      {"tessary-photo://photo/__temp/abc-1_X.jpg#x", 200, "OK", kJpeg, "converted"},
      {"tessary-album://album/cover%20photo.jpg#x", 200, "OK", kJpeg, "album bytes"},
      {"tessary-live://live/7#x", 200, "OK",
       {{"Content-Type", "image/jpeg"}, {"Access-Control-Allow-Origin", "*"}, {"Cache-Control", "no-store"}},
       "live seven"},
      {"tessary-photo://photo/#beach.jpg", 404, "Not Found", kCors, ""},
  };
  for (const TRouteCase& c : cases) {
    const TWebResponse response = RouteWebRequest(c.uri, context);
    EXPECT_EQ(response.status, c.status) << c.uri;
    EXPECT_EQ(response.headers, c.headers) << c.uri;
    EXPECT_EQ(BodyOf(response), c.body) << c.uri;
  }
  EXPECT_EQ(PageAssetPath("tessary-app://app/index.html#top"), "index.html");
  EXPECT_EQ(PageAssetPath("tessary-app://app/#top"), "index.html");
  EXPECT_TRUE(RouteWebRequest("tessary-app://app/js/app.js#x", context).answered);
  TTempDir web;
  web.Write("js/extra.js", "x()");
  EXPECT_EQ(AnswerFromWebFolder("tessary-app://app/js/extra.js#x", web.Path().string()).status, 200);
}

// A name on disk that is not UTF-8 reaches the page in its listed form
// (U+FFFD and two hex digits per odd byte) and is served by that form only.
TEST_F(WebRouting, NamesThatAreNotUtf8AreServedByTheirListedForm) {
  photos.Write("bad\xFF.jpg", "latin-1 name");
  photos.Write("\x83\x74\x83\x40\x83\x43\x83\x8B/sjis.jpg", "shift_jis folder");
  photos.Write("real\xEF\xBF\xBD.jpg", "a real U+FFFD");
  const std::string mark = "%EF%BF%BD";
  const TRouteCase cases[] = {
      {"tessary-photo://photo/bad" + mark + "FF.jpg", 200, "OK", kJpeg, "latin-1 name"},
      {"tessary-photo://photo/" + mark + "83t" + mark + "83@" + mark + "83C" + mark + "83" + mark + "8B/sjis.jpg",
       200, "OK", kJpeg, "shift_jis folder"},
      {"tessary-photo://photo/real" + mark + "EF" + mark + "BF" + mark + "BD.jpg", 200, "OK", kJpeg, "a real U+FFFD"},
      // The lossy name the page used to get, the raw byte, and lower-case digits lead nowhere.
      {"tessary-photo://photo/bad" + mark + ".jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/bad%FF.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/bad" + mark + "ff.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/real" + mark + ".jpg", 404, "Not Found", kCors, ""},
      // Escapes of plain bytes are no second name, and never a separator or "..".
      {"tessary-photo://photo/" + mark + "62each.jpg", 404, "Not Found", kCors, ""},
      {"tessary-photo://photo/" + mark + "2E" + mark + "2E/" + outside.Path().filename().string() + "/secret.jpg",
       404, "Not Found", kCors, ""},
      {"tessary-photo://photo/Sub%20Folder" + mark + "2F%E5%86%99%E7%9C%9F.png", 404, "Not Found", kCors, ""},
  };
  for (const TRouteCase& c : cases) {
    const TWebResponse response = RouteWebRequest(c.uri, context);
    EXPECT_EQ(response.status, c.status) << c.uri;
    EXPECT_EQ(response.headers, c.headers) << c.uri;
    EXPECT_EQ(BodyOf(response), c.body) << c.uri;
  }
}

}  // namespace
