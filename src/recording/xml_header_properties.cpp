// The typed properties of the recording header: each element's text decoded as its row of the header
// table says, and the few properties with a rule of their own.
#include "recording/xml_header.h"
#include "support/numbers.h"
#include "support/veltro_error.h"

namespace veltro {
namespace {

// Names the element, so that the error log tells which value of which header was bad.
VeltroError bad_number(const VeltroError& e, const HeaderElement& row, std::int16_t box,
                       const std::string& held) {
    return VeltroError(e.number(), e.description() + ": " + header_xpath(row, box) + " holds " + held);
}

std::string encoded(HeaderKind, const std::string& value) {
    return value;
}
std::string encoded(HeaderKind, std::int32_t value) {
    return std::to_string(value);
}
std::string encoded(HeaderKind kind, bool value) {
    if (kind == HeaderKind::TF)
        return value ? "t" : "f";
    return value ? "True" : "False";
}

} // namespace

template <typename T>
T Cls_XML_header::get(HeaderKey<T> key, std::int16_t box) const {
    const HeaderElement& row = *key.row;
    const std::string t = row_text(row, box);
    if constexpr (std::is_same_v<T, std::string>) {
        return t;
    } else if constexpr (std::is_same_v<T, bool>) {
        return row.kind == HeaderKind::TF ? t == "t" || t == "Y" : t == "True";
    } else {
        std::int32_t v = 0;
        try {
            v = parse_long(t);
        } catch (const VeltroError& e) {
            throw bad_number(e, row, box, "\"" + (t.size() > 40 ? t.substr(0, 40) + "..." : t) + "\"");
        }
        if constexpr (std::is_same_v<T, std::int32_t>) {
            return v;
        } else {
            try {
                return to_integer(v);
            } catch (const VeltroError& e) {
                throw bad_number(e, row, box, std::to_string(v));
            }
        }
    }
}

template <typename T>
void Cls_XML_header::set(HeaderKey<T> key, const T& value, std::int16_t box) {
    set_row_text(*key.row, encoded(key.row->kind, value), box);
}

template std::string Cls_XML_header::get(HeaderKey<std::string>, std::int16_t) const;
template std::int16_t Cls_XML_header::get(HeaderKey<std::int16_t>, std::int16_t) const;
template std::int32_t Cls_XML_header::get(HeaderKey<std::int32_t>, std::int16_t) const;
template bool Cls_XML_header::get(HeaderKey<bool>, std::int16_t) const;
template void Cls_XML_header::set(HeaderKey<std::string>, const std::string&, std::int16_t);
template void Cls_XML_header::set(HeaderKey<std::int16_t>, const std::int16_t&, std::int16_t);
template void Cls_XML_header::set(HeaderKey<std::int32_t>, const std::int32_t&, std::int16_t);
template void Cls_XML_header::set(HeaderKey<bool>, const bool&, std::int16_t);

std::string Cls_XML_header::Last_Capture_time() const {
    std::string t = get<std::string>("last_capture_time");
    return t.empty() ? "0" : t;
}

std::string Cls_XML_header::Goal_Compensation() const {
    std::string t = get<std::string>("velt_goal_time_offset");
    return is_decimal_number(t) ? t : "0";
}

std::string Cls_XML_header::Split_Compensation() const {
    std::string t = get<std::string>("velt_split_time_offset");
    return is_decimal_number(t) ? t : "0";
}

std::int32_t Cls_XML_header::Velt_Heat_Click_Time(std::int16_t box) const {
    const HeaderKey<std::int32_t> key("dog_heat_click_time");
    (void)header_xpath(*key.row, box); // a box outside 1..8 fails, as everywhere
    try {
        return get(key, box);
    } catch (const VeltroError&) {
        // An unreadable click time reads as none, like a missing one.
        return 0;
    }
}

} // namespace veltro
