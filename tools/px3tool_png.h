#pragma once

#include "picture/dib_section.h"

#include <string>

namespace px3tool {

// The picture as the bytes of a PNG file; fails with VeltroError 75 when the encoder does.
std::string png_bytes(const veltro::cDIBSection& pic);

} // namespace px3tool
