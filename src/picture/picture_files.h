#pragma once

#include "picture/dib_section.h"

#include <string>

namespace veltro {

// The picture as the bytes of a PNG file; fails with VeltroError 75 when the encoder does.
std::string png_bytes(const cDIBSection& pic);

// The picture as the bytes of a JPEG file at `quality` (1..100).
std::string jpeg_bytes(const cDIBSection& pic, int quality);

} // namespace veltro
