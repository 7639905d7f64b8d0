#pragma once

#include "timing/close_finish.h"

namespace veltro {

class cls_VideoFile_handler;

// The picture period of the open recording, from its measured rate (Measured_fps); a rate that
// was never measured or cannot be read gives field mode at 25 frames per second.
PicturePeriod recording_picture_period(const cls_VideoFile_handler& rec);

} // namespace veltro
