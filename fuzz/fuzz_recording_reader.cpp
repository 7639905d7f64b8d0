// Whole recording files: opened as the review opens them and every frame read and drawn, then
// checked as px3tool verify checks them.
#include "recording/recording_check.h"
#include "recording/video_file_handler.h"
#include "support/operator.h"
#include "support/veltro_error.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

std::string temp_path() {
    static const std::string path = "/tmp/fuzz_recording_reader_" + std::to_string(::getpid()) + ".px3";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static veltro::QuietOperator quiet;
    quiet.messages.clear();
    const std::string path = temp_path();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    veltro::cls_VideoFile_handler rec;
    rec.Event_Log([](const std::string&) {});
    rec.Open_File(path);
    const std::int32_t frames = rec.num_Frames() < 64 ? rec.num_Frames() : 64;
    for (std::int32_t n = 1; n <= frames; ++n) {
        try {
            rec.Draw_RGB_frame(n);
            rec.Draw_RGB_Field(2 * n);
        } catch (const veltro::VeltroError&) {
        }
        // Touch every pixel of what would be shown.
        const veltro::cDIBSection& pic = rec.Picture();
        unsigned sum = 0;
        for (std::int32_t i = 0; i < pic.SizeImage(); i += 97) {
            sum += pic.DIBSectionBitsPtr()[i];
        }
        (void)sum;
    }
    rec.Close_File();
    // The file check of px3tool reads the same file independently.
    (void)veltro::Check_Recording(path);
    std::remove(path.c_str());
    return 0;
}
