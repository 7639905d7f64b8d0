#pragma once

#include "capture/dib_section.h"

#include <cstdint>

namespace veltro {

// Draws a finish-line scene into the section (which keeps its size): a graded track with lane
// lines, grain, a vertical finish line and six coloured blobs whose places depend on `frame`. It
// compresses like real camera pictures do, unlike flat colours, so tests and benchmarks of the JPEG
// and recording paths measure something true. Deterministic for a given size and frame.
void Render_Test_Picture(cDIBSection& dib, std::int32_t frame);

} // namespace veltro
