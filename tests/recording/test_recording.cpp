#include "recording/test_recording.h"

namespace veltro {

void Arm_Test_Recording(cls_VideoFile_handler& rec, const std::string& path, std::int32_t width,
                        std::int32_t height, bool interlaced, const std::string& start_pc_mill) {
    rec.File_name(path);
    rec.RGB_interlaced(interlaced);
    rec.Cropped_X(width);
    rec.Cropped_Y(height);
    rec.Initiate_PX3_File();
    rec.Measured_fps(25);
    rec.Velt_event("Test Event");
    rec.Velt_Heat_ID("1");
    if (!start_pc_mill.empty())
        rec.Velt_start_PC_mill(start_pc_mill);
    rec.Write_XML_header();
    rec.Close_File();
}

void Append_Test_Frames(cls_VideoFile_handler& rec, const CapturedFrames& captured) {
    if (rec.Rounded_Compressed_Size() == 0)
        rec.Calculate_Compressed_Size(captured.count(), captured.at());
    rec.Close_File();
    rec.Open_px3_for_Append();
    for (std::int32_t i = 1; i <= captured.count(); ++i)
        rec.Append_RGB_Frame(i, *captured.frames[static_cast<std::size_t>(i - 1)]);
    rec.Close_File();
}

} // namespace veltro
