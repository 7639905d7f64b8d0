#pragma once

#include <ctime>
#include <string>

namespace veltro {

// The name of the recording for the coming heat: folder "/" event "_" heat "_" date-time ".px3",
// the date and time written "yyyy-mm-dd hh:nn:ss". In the file name every ":", "-" and "," becomes
// "_" (so does a "/", which would otherwise lead into a folder); the folder stays as chosen, so a
// capture folder such as "/data/club-races" keeps its name.
std::string recording_name(const std::string& folder, const std::string& event_caption,
                           const std::string& heat_caption, const std::tm& now);

} // namespace veltro
