#include "recording/header_properties.h"

#include "support/veltro_error.h"

namespace veltro {

std::string header_xpath(const HeaderElement& row, std::int16_t box) {
    if (row.group != HeaderGroup::Box)
        return std::string("//") + row.element;
    if (box < 1 || box > 8)
        throw VeltroError(err::kSubscriptOutOfRange,
                          "Subscript out of range: box " + std::to_string(box) + " (boxes are 1 to 8)");
    return "//box[@id='" + std::to_string(box) + "']/" + row.element;
}

} // namespace veltro
