#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "shared/WebAssets.h"
#include "tests/native/FakePlatform.h"

namespace {

const std::filesystem::path kWebDir = std::filesystem::path(TESSARY_SOURCE_DIR) / "web";

TEST(WebAssets, TableHasItsRowsWithDistinctPathsAndNames) {
  const auto table = WebAssetTable();
  ASSERT_EQ(table.size(), 27u);
  EXPECT_EQ(table.front().path, "index.html");
  EXPECT_EQ(table.front().contentType, "text/html; charset=utf-8");
  EXPECT_EQ(table.back().resourceName, "WEB_FONT_HACHIMARU");
  std::set<std::string_view> paths;
  std::set<std::string_view> names;
  for (const TWebAsset& row : table) {
    paths.insert(row.path);
    names.insert(row.resourceName);
  }
  EXPECT_EQ(paths.size(), 27u);
  EXPECT_EQ(names.size(), 27u);
}

TEST(WebAssets, LookupIgnoresLetterCaseOnly) {
  ASSERT_NE(FindWebAsset("ASSETS/BG-WOOD.JPG"), nullptr);
  EXPECT_EQ(FindWebAsset("ASSETS/BG-WOOD.JPG")->resourceName, "WEB_ASSET_BG_WOOD");
  EXPECT_EQ(FindWebAsset("Js/Bridge.js")->contentType, "text/javascript; charset=utf-8");
  EXPECT_EQ(FindWebAsset("/js/bridge.js"), nullptr);
  EXPECT_EQ(FindWebAsset("js/bridge.js "), nullptr);
  EXPECT_EQ(FindWebResource("WEB_NOT_A_RESOURCE"), std::nullopt);
}

// The program must carry the page files byte for byte; a file that is not in
// web/ at build time has no resource and is served from the web folder.
TEST(WebAssets, EmbeddedBytesEqualTheFilesInWeb) {
  int embedded = 0;
  for (const TWebAsset& row : WebAssetTable()) {
    const auto file = kWebDir / std::string(row.path);
    const auto resource = FindWebResource(row.resourceName);
    if (!std::filesystem::is_regular_file(file)) {
      EXPECT_FALSE(resource.has_value()) << row.path;
      continue;
    }
    ASSERT_TRUE(resource.has_value()) << row.path << " exists in web/ but is not embedded (re-run cmake)";
    const std::string bytes = ReadText(file);
    EXPECT_EQ(resource->size(), bytes.size()) << row.path;
    EXPECT_TRUE(std::string(resource->begin(), resource->end()) == bytes) << row.path << " differs (rebuild)";
    ++embedded;
  }
  RecordProperty("embedded", embedded);
}

}  // namespace
