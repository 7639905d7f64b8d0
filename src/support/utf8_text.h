#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace veltro {

// Texts in memory are UTF-8; these count and cut them by characters rather than bytes, so a name
// is never cut inside a character.

bool is_valid_utf8(std::string_view text);
// Characters in a valid UTF-8 text (a stray byte counts as one character).
std::size_t utf8_length(std::string_view text);
// Up to `count` characters from character `first` (0-based).
std::string utf8_substr(std::string_view text, std::size_t first, std::size_t count);

} // namespace veltro
