#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltro {

// SHA-256 of `bytes` as 64 lower-case hexadecimal digits.
std::string sha256_hex(std::string_view bytes);

// SHA-256 of a whole file, read in pieces (a recording can be large); std::nullopt when it cannot
// be read.
std::optional<std::string> sha256_file_hex(const std::string& path);

// `bytes` in base64 (RFC 4648, with padding), as data: URLs carry pictures.
std::string base64(std::string_view bytes);

} // namespace veltro
