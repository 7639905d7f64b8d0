#include "picture/picture_files.h"

#include "picture/jpeg_codec.h"
#include "support/veltro_error.h"

#include <png.h>
#include <vector>

namespace veltro {

std::string png_bytes(const cDIBSection& pic) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(pic.Width());
    image.height = static_cast<png_uint_32>(pic.Height());
    image.format = PNG_FORMAT_BGR;
    // A negative stride tells the library that the rows are stored bottom-up.
    const png_int_32 stride = -pic.BytesPerScanLine();
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pic.DIBSectionBitsPtr(), stride, nullptr)) {
        throw VeltroError(err::kPathFileAccess, std::string("PNG encoding failed: ") + image.message);
    }
    std::string out(size, '\0');
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pic.DIBSectionBitsPtr(), stride, nullptr)) {
        throw VeltroError(err::kPathFileAccess, std::string("PNG encoding failed: ") + image.message);
    }
    out.resize(size);
    return out;
}

std::string jpeg_bytes(const cDIBSection& pic, int quality) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(pic.SizeImage()) + 65536);
    std::int32_t size = static_cast<std::int32_t>(out.size());
    JPG_From_DIB(pic, out.data(), size, quality);
    return std::string(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(size));
}

} // namespace veltro
