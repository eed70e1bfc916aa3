// Walking UTF-8 text by code points.
#pragma once

#include <cstddef>
#include <string>

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the sequence at `i` and advances past it. Malformed, overlong or
// surrogate sequences give U+FFFD and advance by one byte.
char32_t NextCodePoint(const std::string& text, std::size_t& i);
std::size_t CodePointCount(const std::string& text);
