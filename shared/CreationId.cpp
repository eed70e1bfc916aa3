#include "shared/CreationId.h"

#include <string_view>

#include "shared/Utf8.h"

namespace {

bool IsNonAsciiWordCharacter(char32_t cp) {
  if (cp == kReplacementCharacter) return false;
  if (cp < 0xC0) return false;                      // Latin-1 punctuation and symbols
  if (cp == 0xD7 || cp == 0xF7) return false;       // multiplication and division signs
  if (cp >= 0x2000 && cp <= 0x2BFF) return false;   // general punctuation, symbols, arrows
  if (cp >= 0x3000 && cp <= 0x303F) return false;   // CJK punctuation
  if (cp >= 0xFE30 && cp <= 0xFE4F) return false;   // CJK compatibility forms
  if (cp >= 0xFF00 && cp <= 0xFF0F) return false;   // full-width punctuation
  if (cp >= 0xFF1A && cp <= 0xFF20) return false;
  if (cp >= 0xFF3B && cp <= 0xFF40) return false;
  if (cp >= 0xFF5B && cp <= 0xFF65) return false;
  return true;
}

}  // namespace

bool IsValidCreationId(const std::string& id) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < id.size(); ++count) {
    const char32_t cp = NextCodePoint(id, i);
    const bool ascii = (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || (cp >= '0' && cp <= '9') ||
                       cp == '-' || cp == '_';
    if (!ascii && !IsNonAsciiWordCharacter(cp)) return false;
  }
  return count >= 1 && count <= 64;
}

bool IsValidStoredPhotoName(const std::string& name) {
  const std::size_t length = CodePointCount(name);
  if (length < 1 || length > 128) return false;
  if (name.find_first_of(std::string_view("\\:\0", 3)) != std::string::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find('/', start);
    const std::string_view part = std::string_view(name).substr(start, end == std::string::npos ? end : end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}
