// Capture spools as recovery finds them after a crash: the head checked, the entries walked up to the
// first damaged one, and every kept frame read back.
#include "recording/capture_spool.h"
#include "support/memory_file.h"
#include "support/veltro_error.h"

#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        veltro::SpoolReader reader(std::make_unique<veltro::MemoryFile>(data, size), "fuzz.px3.spool");
        veltro::CompressedFrame frame;
        unsigned sum = 0;
        for (std::int32_t i = 1; i <= reader.count(); ++i) {
            reader.read(i, frame);
            for (const std::uint8_t b : frame.jpeg) {
                sum += b;
            }
        }
        (void)sum;
        (void)reader.largest();
        (void)reader.damage().size();
    } catch (const veltro::VeltroError&) {
    }
    return 0;
}
