#include "startswitch/start_click.h"

#include <cmath>
#include <numbers>

namespace veltro {
namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}
void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put_tag(std::vector<std::uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(tag[i]));
    }
}

} // namespace

std::vector<std::uint8_t> start_click_wave() {
    const auto samples = static_cast<std::uint32_t>(kStartClickBytes - kWaveHeaderBytes);
    std::vector<std::uint8_t> wave;
    wave.reserve(kStartClickBytes);
    put_tag(wave, "RIFF");
    put32(wave, static_cast<std::uint32_t>(kStartClickBytes - 8));
    put_tag(wave, "WAVE");
    put_tag(wave, "fmt ");
    put32(wave, 16);
    put16(wave, 1); // PCM
    put16(wave, 1); // mono
    put32(wave, kStartClickRate);
    put32(wave, kStartClickRate); // bytes per second at one byte per sample
    put16(wave, 1);               // block align
    put16(wave, 8);               // bits per sample
    put_tag(wave, "data");
    put32(wave, samples);
    // A 1.8 kHz tone that dies away within a few milliseconds: heard as a sharp tick, not a beep.
    for (std::uint32_t i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / kStartClickRate;
        const double v = std::sin(2 * std::numbers::pi * 1800 * t) * std::exp(-t * 400.0);
        wave.push_back(static_cast<std::uint8_t>(std::lround(128 + 120 * v)));
    }
    return wave;
}

} // namespace veltro
