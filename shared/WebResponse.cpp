#include "shared/WebResponse.h"

#include "shared/TextUtil.h"

std::string TWebResponse::HeaderText() const {
  std::string text;
  for (const auto& [name, value] : headers) {
    if (!text.empty()) text += "\r\n";
    text += name + ": " + value;
  }
  return text;
}

const std::string* TWebResponse::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsNoCase(key, name)) return &value;
  }
  return nullptr;
}
