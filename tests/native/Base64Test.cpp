#include <gtest/gtest.h>

#include <stdexcept>

#include "shared/Base64.h"
#include "tests/native/FakePlatform.h"

namespace {

TEST(Base64, EncodesAndDecodesTheStandardAlphabet) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},
      {"foo", "Zm9v"},   {"foob", "Zm9vYg=="},  {"\xfb\xff\xbf", "+/+/"},
  };
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(Base64Encode(Bytes(plain)), encoded);
    EXPECT_EQ(Base64Decode(encoded), Bytes(plain)) << encoded;
  }
}

TEST(Base64, AcceptsMissingPaddingAndRefusesBrokenText) {
  EXPECT_EQ(Base64Decode("Zg"), Bytes("f"));
  for (const char* broken : {"Z", "Zm9v!", "Zm 9v", "Zg=a", "Z===", "Zm9vY"}) {
    EXPECT_THROW(Base64Decode(broken), std::runtime_error) << broken;
  }
}

TEST(Base64, RoundTripsEveryByteValue) {
  std::vector<std::uint8_t> all(256 * 3 + 1);
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint8_t>(i * 7);
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

}  // namespace
