// Small text helpers for ASCII-insensitive matching and URL paths.
#pragma once

#include <optional>
#include <string>
#include <string_view>

std::string ToLowerAscii(std::string_view text);
std::string ToUpperAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
// "%XX" escapes become bytes, "+" becomes a space; a broken escape stays as it is.
std::string UrlDecode(std::string_view text);
// The text before the first "?".
std::string_view CutQuery(std::string_view text);
// The text before the first "#": the fragment belongs to the page, never to
// the resource it names.
std::string_view CutFragment(std::string_view text);
// Without the spaces, tabs and line breaks around it (library messages often
// end in a line break).
std::string TrimSpace(std::string_view text);
// The extension with its dot, in lower case ("" when the name has none).
std::string LowerExtension(std::string_view path);
// A plain decimal integer within int range ("-" allowed); nothing else.
std::optional<int> ParseDecimalInt(std::string_view text);
