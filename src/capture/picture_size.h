#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace veltro {

// The captured and shown picture size of the "Crop size" menu.
struct CropSize {
    std::int16_t width = 0;
    std::int16_t height = 0;
    friend constexpr bool operator==(const CropSize&, const CropSize&) = default;
};

// The items of the "Crop size" menu.
inline constexpr std::array<const char*, 3> kCropCaptions = {"400*880", "600*1080", "576*720"};
// The items of the "X-stretch" menu.
inline constexpr std::array<const char*, 3> kXStretchCaptions = {"1/1", "1/1,5", "1/2"};

// A caption "width*height"; std::nullopt for text of another form or sizes that are not positive
// 16-bit numbers.
std::optional<CropSize> parse_crop_caption(const std::string& caption);

// Read_Last_Crop: the stored lastcrop caption when it is one of the menu's items, else "400*880".
std::string Read_Last_Crop();
// Stores the chosen item as lastcrop.
void store_last_crop(const std::string& caption);

// The horizontal display scale an "X-stretch" caption names: "1/1" 1, "1/1,5" 1/1.5, "1/2" 0.5;
// std::nullopt for another caption.
std::optional<double> x_stretch_scale(const std::string& caption);

} // namespace veltro
