#include "shared/CommandFields.h"

#include <limits>

namespace {

const TJson* Member(const TJson& message, const char* name) {
  const auto found = message.find(name);
  return found == message.end() ? nullptr : &*found;
}

}  // namespace

std::string FieldText(const TJson& message, const char* name, const std::string& fallback) {
  const TJson* value = Member(message, name);
  return value && value->is_string() ? value->get<std::string>() : fallback;
}

bool FieldBool(const TJson& message, const char* name, bool fallback) {
  const TJson* value = Member(message, name);
  return value && value->is_boolean() ? value->get<bool>() : fallback;
}

std::int64_t FieldInt(const TJson& message, const char* name, std::int64_t fallback) {
  const TJson* value = Member(message, name);
  if (!value) return fallback;
  if (value->is_number_integer() && !value->is_number_unsigned()) return value->get<std::int64_t>();
  if (value->is_number_unsigned()) {
    const auto u = value->get<std::uint64_t>();
    return u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) ? static_cast<std::int64_t>(u)
                                                                                       : fallback;
  }
  return fallback;
}

const TJson* FieldObject(const TJson& message, const char* name) {
  const TJson* value = Member(message, name);
  return value && value->is_object() ? value : nullptr;
}
