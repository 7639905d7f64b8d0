#include "picture/jpeg_codec.h"

#include "support/operator.h"
#include "support/veltro_error.h"

#include <cstring>
#include <string>
#include <turbojpeg.h>
#include <vector>

namespace veltro {

namespace {

// One compressor and one decompressor per thread, made on first use and kept: creating them per
// frame would cost more than compressing a small frame.
struct Handles {
    tjhandle compressor = nullptr;
    tjhandle decompressor = nullptr;
    // Room for the largest stream of the last picture size, for callers whose buffer is smaller than
    // the library's worst case (it must never write past the caller's capacity).
    std::vector<unsigned char> scratch;
    ~Handles() {
        if (compressor != nullptr) {
            tjDestroy(compressor);
        }
        if (decompressor != nullptr) {
            tjDestroy(decompressor);
        }
    }
};

Handles& handles() {
    thread_local Handles h;
    return h;
}

[[noreturn]] void fail_compress(const std::string& reason) {
    throw VeltroError(err::kJpeg, "Failed to save to JPG " + reason);
}

tjhandle decompressor() {
    Handles& h = handles();
    if (h.decompressor == nullptr) {
        h.decompressor = tjInitDecompress();
    }
    return h.decompressor;
}

// After a failed call a handle may refuse every later stream, so it is replaced by a fresh one.
void drop(tjhandle& handle) {
    if (handle != nullptr) {
        tjDestroy(handle);
        handle = nullptr;
    }
}

} // namespace

bool jpg_from_pixels(const std::uint8_t* pixels, std::int32_t width, std::int32_t height, std::int32_t stride,
                     std::uint8_t* out, std::int32_t& out_size, std::int32_t quality) {
    Handles& h = handles();
    if (h.compressor == nullptr) {
        h.compressor = tjInitCompress();
        if (h.compressor == nullptr) {
            throw VeltroError(err::kJpeg, std::string("Failed to initialise the IJL library: ") +
                                              tjGetErrorStr2(nullptr));
        }
    }
    if (pixels == nullptr || width <= 0 || height <= 0 || stride < width * 3) {
        fail_compress("(no picture to compress)");
    }
    if (quality < 1 || quality > 100) {
        fail_compress("(quality " + std::to_string(quality) + " outside 1..100)");
    }
    if (out == nullptr || out_size <= 0) {
        fail_compress("(no output buffer)");
    }
    const unsigned long worst = tjBufSize(width, height, TJSAMP_420);
    // With NOREALLOC the library assumes a buffer of its worst-case size, so it may write straight
    // into the caller's buffer only when that is at least as large.
    const bool direct = static_cast<unsigned long>(out_size) >= worst;
    unsigned char* target = out;
    if (!direct) {
        if (h.scratch.size() < worst) {
            h.scratch.resize(worst);
        }
        target = h.scratch.data();
    }
    unsigned long length = worst;
    // Bottom-up rows: the library reads the last row in memory as the top of the picture.
    const int rc = tjCompress2(h.compressor, pixels, width, stride, height, TJPF_BGR, &target, &length,
                               TJSAMP_420, quality, TJFLAG_NOREALLOC | TJFLAG_BOTTOMUP);
    if (rc != 0) {
        const std::string reason = tjGetErrorStr2(h.compressor);
        drop(h.compressor);
        fail_compress("(" + reason + ")");
    }
    if (length > static_cast<unsigned long>(out_size)) {
        fail_compress("(stream of " + std::to_string(length) + " bytes, buffer of " +
                      std::to_string(out_size) + ")");
    }
    if (!direct) {
        std::memcpy(out, target, length);
    }
    out_size = static_cast<std::int32_t>(length);
    return true;
}

bool JPG_From_DIB(const cDIBSection& dib, std::uint8_t* out, std::int32_t& out_size, std::int32_t quality) {
    return jpg_from_pixels(dib.DIBSectionBitsPtr(), dib.Width(), dib.Height(), dib.BytesPerScanLine(), out,
                           out_size, quality);
}

std::optional<JpegHeader> read_jpg_header(const std::uint8_t* jpg, std::int32_t length) {
    tjhandle d = decompressor();
    if (d == nullptr || jpg == nullptr || length <= 0) {
        return std::nullopt;
    }
    int width = 0;
    int height = 0;
    int subsamp = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(d, jpg, static_cast<unsigned long>(length), &width, &height, &subsamp,
                            &colorspace) != 0 ||
        width <= 0 || height <= 0) {
        drop(handles().decompressor);
        return std::nullopt;
    }
    return JpegHeader{width, height, colorspace == TJCS_GRAY};
}

bool DIB_From_JPG(cDIBSection& dib, const std::uint8_t* jpg, std::int32_t length) {
    tjhandle d = decompressor();
    if (d == nullptr) {
        the_operator().message(std::string("Failed to initialise the IJL library: ") +
                               tjGetErrorStr2(nullptr));
        return false;
    }
    const auto header = read_jpg_header(jpg, length);
    if (!header) {
        the_operator().message("Failed to read JPG");
        return false;
    }
    if (dib.Width() != header->width || dib.Height() != header->height) {
        if (!dib.Create(header->width, header->height)) {
            return false;
        }
    }
    // Warnings (a truncated stream, a bad Huffman code) count as failure: the picture is incomplete.
    const int rc =
        tjDecompress2(d, jpg, static_cast<unsigned long>(length), dib.DIBSectionBitsPtr(), header->width,
                      dib.BytesPerScanLine(), header->height, TJPF_BGR, TJFLAG_BOTTOMUP);
    return rc == 0;
}

} // namespace veltro
