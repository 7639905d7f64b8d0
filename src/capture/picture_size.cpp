#include "capture/picture_size.h"

#include "support/numbers.h"
#include "support/settings.h"

#include <algorithm>

namespace veltro {

std::optional<CropSize> parse_crop_caption(const std::string& caption) {
    const std::size_t star = caption.find('*');
    if (star == std::string::npos) {
        return std::nullopt;
    }
    const std::string w = caption.substr(0, star);
    const std::string h = caption.substr(star + 1);
    if (!is_decimal_number(w) || !is_decimal_number(h)) {
        return std::nullopt;
    }
    try {
        const CropSize size{parse_integer(w), parse_integer(h)};
        if (size.width < 1 || size.height < 1) {
            return std::nullopt;
        }
        return size;
    } catch (const std::exception&) {
        return std::nullopt; // beyond an Integer
    }
}

std::string Read_Last_Crop() {
    const std::string stored = Read_Setting(keys::lastcrop);
    const bool known = std::any_of(kCropCaptions.begin(), kCropCaptions.end(),
                                   [&](const char* caption) { return stored == caption; });
    return known ? stored : keys::lastcrop.default_value;
}

void store_last_crop(const std::string& caption) {
    Write_Setting(keys::lastcrop, caption);
}

std::optional<double> x_stretch_scale(const std::string& caption) {
    if (caption == "1/1") {
        return 1.0;
    }
    if (caption == "1/1,5") {
        return 1.0 / 1.5;
    }
    if (caption == "1/2") {
        return 0.5;
    }
    return std::nullopt;
}

} // namespace veltro
