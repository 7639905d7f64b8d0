// Whole recording files: opened as the review opens them and every frame read and drawn, then
// checked as px3tool verify checks them.
#include "recording/recording_check.h"
#include "recording/video_file_handler.h"
#include "support/memory_file.h"
#include "support/operator.h"
#include "support/veltro_error.h"

#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static veltro::QuietOperator quiet;
    quiet.messages.clear();
    veltro::cls_VideoFile_handler rec;
    rec.event_log([](const std::string&) {});
    rec.Open_File(std::make_unique<veltro::MemoryFile>(data, size), "fuzz.px3");
    const std::int32_t frames = rec.num_Frames() < 64 ? rec.num_Frames() : 64;
    for (std::int32_t n = 1; n <= frames; ++n) {
        try {
            rec.Draw_RGB_frame(n);
            rec.Draw_RGB_Field(2 * n);
        } catch (const veltro::VeltroError&) {
        }
        // Touch every pixel of what would be shown.
        const veltro::cDIBSection& pic = rec.picture();
        unsigned sum = 0;
        for (std::int32_t i = 0; i < pic.SizeImage(); i += 97) {
            sum += pic.DIBSectionBitsPtr()[i];
        }
        (void)sum;
    }
    rec.Close_File();
    // The file check of px3tool reads the same bytes independently.
    veltro::MemoryFile file(data, size);
    (void)veltro::check_recording(file);
    return 0;
}
