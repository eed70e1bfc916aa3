// The hosts' JSON output: compact, members in insertion order, pure ASCII
// (characters outside 32..127 as \uXXXX with upper-case hex digits, astral
// characters as surrogate pairs). Malformed UTF-8 is written as U+FFFD.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

using TJson = nlohmann::ordered_json;

std::string WriteJson(const TJson& value);
// One JSON string literal, quotes included.
std::string WriteJsonString(const std::string& utf8);
