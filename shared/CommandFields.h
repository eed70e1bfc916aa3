// Reading command fields: a field that is missing, null or of another type
// takes its default.
#pragma once

#include <cstdint>
#include <string>

#include "shared/JsonWriter.h"

std::string FieldText(const TJson& message, const char* name, const std::string& fallback = "");
bool FieldBool(const TJson& message, const char* name, bool fallback = false);
// JSON numbers without a fraction only; anything else, or a value outside
// the 64-bit range, gives the default.
std::int64_t FieldInt(const TJson& message, const char* name, std::int64_t fallback);
// A field with the value of an object, or nullptr.
const TJson* FieldObject(const TJson& message, const char* name);
