#include "shared/JsonWriter.h"

#include <cstdint>
#include <cstdio>

#include "shared/Utf8.h"

namespace {

void AppendEscape(std::string& out, unsigned unit) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04X", unit & 0xFFFF);
  out += buf;
}

void AppendString(std::string& out, const std::string& s) {
  out += '"';
  for (std::size_t i = 0; i < s.size();) {
    const char32_t cp = NextCodePoint(s, i);
    switch (cp) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (cp >= 32 && cp <= 127) {
          out += static_cast<char>(cp);
        } else if (cp > 0xFFFF) {
          const char32_t v = cp - 0x10000;
          AppendEscape(out, 0xD800 + (v >> 10));
          AppendEscape(out, 0xDC00 + (v & 0x3FF));
        } else {
          AppendEscape(out, cp);
        }
    }
  }
  out += '"';
}

void AppendValue(std::string& out, const TJson& value) {
  switch (value.type()) {
    case TJson::value_t::object: {
      out += '{';
      bool first = true;
      for (auto it = value.begin(); it != value.end(); ++it) {
        if (!first) out += ',';
        first = false;
        AppendString(out, it.key());
        out += ':';
        AppendValue(out, it.value());
      }
      out += '}';
      break;
    }
    case TJson::value_t::array: {
      out += '[';
      bool first = true;
      for (const auto& item : value) {
        if (!first) out += ',';
        first = false;
        AppendValue(out, item);
      }
      out += ']';
      break;
    }
    case TJson::value_t::string:
      AppendString(out, value.get_ref<const std::string&>());
      break;
    default:
      // null, booleans and numbers are ASCII already.
      out += value.dump();
  }
}

}  // namespace

std::string WriteJson(const TJson& value) {
  std::string out;
  AppendValue(out, value);
  return out;
}

std::string WriteJsonString(const std::string& utf8) {
  std::string out;
  AppendString(out, utf8);
  return out;
}
