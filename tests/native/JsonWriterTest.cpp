#include <gtest/gtest.h>

#include "shared/EventScript.h"
#include "shared/JsonWriter.h"

namespace {

struct TStringCase {
  const char* name;
  std::string input;
  std::string written;
};

TEST(JsonWriter, StringsAreWrittenAsAscii) {
  const TStringCase cases[] = {
      {"plain", "Tessary 1", "\"Tessary 1\""},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"slash stays", "a/b", "\"a/b\""},
      {"short escapes", "\b\t\n\f\r", "\"\\b\\t\\n\\f\\r\""},
      {"other controls", std::string("\x01\x1f\0", 3), "\"\\u0001\\u001F\\u0000\""},
      {"delete is 127, kept", "\x7f", "\"\x7f\""},
      {"latin-1", "caf\xC3\xA9", "\"caf\\u00E9\""},
      {"japanese", "思い出", "\"\\u601D\\u3044\\u51FA\""},
      {"astral as surrogate pair", "\xF0\x9F\x93\xB7", "\"\\uD83D\\uDCF7\""},
      {"lone continuation byte", "a\x80z", "\"a\\uFFFDz\""},
      {"truncated sequence", "a\xE6\x80", "\"a\\uFFFD\\uFFFD\""},
      {"overlong slash", "\xC0\xAF", "\"\\uFFFD\\uFFFD\""},
      {"encoded surrogate", "\xED\xA0\x80", "\"\\uFFFD\\uFFFD\\uFFFD\""},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\"\\uFFFD\\uFFFD\\uFFFD\\uFFFD\""},
  };
  for (const TStringCase& c : cases) {
    EXPECT_EQ(WriteJsonString(c.input), c.written) << c.name;
  }
}

TEST(JsonWriter, ObjectsAreCompactInInsertionOrder) {
  TJson value = TJson::object();
  value["zeta"] = 1;
  value["alpha"] = true;
  value["list"] = TJson::array({"x", -2, nullptr, 1.5});
  value["nested"] = TJson::object();
  value["nested"]["名前"] = "アルバム";
  value["empty"] = TJson::array();
  EXPECT_EQ(WriteJson(value),
            "{\"zeta\":1,\"alpha\":true,\"list\":[\"x\",-2,null,1.5],"
            "\"nested\":{\"\\u540D\\u524D\":\"\\u30A2\\u30EB\\u30D0\\u30E0\"},\"empty\":[]}");
}

TEST(JsonWriter, OutputParsesBackToTheSameText) {
  TJson value = TJson::object();
  value["title"] = "夏の思い出 📷 \"quoted\"\n";
  const std::string written = WriteJson(value);
  for (const char c : written) EXPECT_LT(static_cast<unsigned char>(c), 128u);
  EXPECT_EQ(TJson::parse(written)["title"], value["title"]);
}

TEST(EventScript, HasTheOneLineEmitForm) {
  TJson payload = TJson::object();
  payload["requestId"] = "r1";
  payload["path"] = "/home/u/写真.png";
  EXPECT_EQ(BuildEventScript("saveDone", payload),
            "window.kobHost.emit(\"saveDone\", {\"requestId\":\"r1\",\"path\":\"/home/u/\\u5199\\u771F.png\"});");
  EXPECT_EQ(BuildEventScript("restoreDone"), "window.kobHost.emit(\"restoreDone\");");
}

}  // namespace
