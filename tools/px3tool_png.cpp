// PNG files of pictures, for the commands that write one.
#include "px3tool_png.h"

#include "support/veltro_error.h"

#include <png.h>

namespace px3tool {

std::string png_bytes(const veltro::cDIBSection& pic) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(pic.Width());
    image.height = static_cast<png_uint_32>(pic.Height());
    image.format = PNG_FORMAT_BGR;
    // A negative stride tells the library that the rows are stored bottom-up.
    const png_int_32 stride = -pic.BytesPerScanLine();
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pic.DIBSectionBitsPtr(), stride, nullptr)) {
        throw veltro::VeltroError(veltro::err::PathFileAccess,
                                  std::string("PNG encoding failed: ") + image.message);
    }
    std::string out(size, '\0');
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pic.DIBSectionBitsPtr(), stride, nullptr)) {
        throw veltro::VeltroError(veltro::err::PathFileAccess,
                                  std::string("PNG encoding failed: ") + image.message);
    }
    out.resize(size);
    return out;
}

} // namespace px3tool
