// Standard base64 (RFC 4648 alphabet, "=" padding).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string Base64Encode(const std::vector<std::uint8_t>& bytes);
// Throws std::runtime_error on characters outside the alphabet or a broken
// length; missing trailing padding is accepted.
std::vector<std::uint8_t> Base64Decode(const std::string& text);
