// The review of recordings and the time assignment plug in here. These are the hooks the main
// window calls; until the review is built they only leave a trace line.
#include "app/ui/form_veltro.h"
#include "support/trace.h"

namespace veltro {

void Form_Veltro::Handle_Open(const std::string& path) {
    Trace("Handle_Open, review not available: " + path);
}

void Form_Veltro::Display_Heat_Data() {}

void Form_Veltro::Clear_Results_Display() {}

void Form_Veltro::Handle_Goal_Offset(int) {}

void Form_Veltro::item_open_file_Click() {}
void Form_Veltro::item_show_results_Click() {}
void Form_Veltro::item_reset_goal_line_Click() {}
void Form_Veltro::item_displace_goalline_Click() {}
void Form_Veltro::item_x_stretch_Click(int) {}
void Form_Veltro::item_crop_size_Click(const QString&) {}
void Form_Veltro::item_display_sample_data_Click() {}
void Form_Veltro::item_display_hd_frame_data_Click() {}
void Form_Veltro::item_assign_times_Click(int) {}
void Form_Veltro::Command_box_MouseDown(int) {}
void Form_Veltro::Command_box_MouseUp(int) {}
void Form_Veltro::Command_box_Click(int) {}
void Form_Veltro::Command_split_goal_Click() {}
void Form_Veltro::Slider_play_Change(int) {}
void Form_Veltro::UpDown_heat_Change(int) {}
void Form_Veltro::item_print_frame_Click() {}
void Form_Veltro::item_print_series_Click() {}
void Form_Veltro::item_print_dog_name_Click() {}
void Form_Veltro::item_px3_properties_Click() {}

} // namespace veltro
