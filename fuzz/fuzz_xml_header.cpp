// Recording headers come from files on disk: any bytes must load and be read without a crash, and
// a header that loaded must come out as text that loads again.
#include "recording/xml_header.h"
#include "support/veltro_error.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

template <typename F>
void attempt(F&& f) {
    try {
        f();
    } catch (const veltro::VeltroError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using veltro::Cls_XML_header;
    Cls_XML_header h;
    h.XML_string(std::string(reinterpret_cast<const char*>(data), size));

    attempt([&] { (void)h.Creation_date(); });
    attempt([&] { (void)h.Last_Capture_time(); });
    attempt([&] { (void)h.G_Frames_no(); });
    attempt([&] { (void)h.Segments_no(); });
    attempt([&] { (void)h.Comp_Name(); });
    attempt([&] { (void)h.SpecApp(); });
    attempt([&] { (void)h.RGB_X(); });
    attempt([&] { (void)h.RGB_Y(); });
    attempt([&] { (void)h.RGB_Sample_Size(); });
    attempt([&] { (void)h.RGB_interlaced(); });
    attempt([&] { (void)h.RGB_Rotated(); });
    attempt([&] { (void)h.RGB_fourcc(); });
    attempt([&] { (void)h.RGB_JPEG_codec(); });
    attempt([&] { (void)h.RGB_fps(); });
    attempt([&] { (void)h.Velt_event(); });
    attempt([&] { (void)h.Velt_heat_start_Local_mill(); });
    attempt([&] { (void)h.Velt_heat_start_PC_mill(); });
    attempt([&] { (void)h.Goal_Compensation(); });
    attempt([&] { (void)h.Split_Compensation(); });
    attempt([&] { (void)h.Velt_box_delay(); });
    for (std::int16_t box = 0; box <= 9; ++box) {
        attempt([&] { (void)h.Velt_Dog_name(box); });
        attempt([&] { (void)h.Velt_Heat_time(box, false); });
        attempt([&] { (void)h.Velt_Heat_time(box, true); });
        attempt([&] { (void)h.Velt_heat_frame(box); });
        attempt([&] { (void)h.Velt_Heat_Click_Time(box); });
        attempt([&] { (void)h.Velt_dead_heat(box); });
    }
    attempt([&] { h.Velt_Heat_time(3, true, 12345); });
    attempt([&] { h.Velt_dead_heat(3, true); });
    attempt([&] { h.Velt_Dog_name(3, "\xC3\x86r\xC3\xB8"); });
    attempt([&] { h.Insert_Specapp(); });
    (void)h.is_Golf();
    (void)h.is_Selvane();

    // What we write must load again; after one pass (which may normalise, e.g. "<a></a>" for an
    // element holding only "&#0;") the text must stay as it is.
    if (h.Has_XML()) {
        Cls_XML_header again;
        again.XML_string(h.XML_string());
        const std::string text = again.XML_string();
        Cls_XML_header third;
        third.XML_string(text);
        if (!again.Has_XML() || !third.Has_XML() || third.XML_string() != text)
            std::abort();
    }
    return 0;
}
