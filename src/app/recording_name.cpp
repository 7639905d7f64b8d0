#include "app/recording_name.h"

#include <cstdio>

namespace veltro {

std::string recording_name(const std::string& folder, const std::string& event_caption,
                           const std::string& heat_caption, const std::tm& now) {
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", now.tm_year + 1900, now.tm_mon + 1,
                  now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    std::string file = event_caption + "_" + heat_caption + "_" + stamp;
    for (char& c : file) {
        if (c == ':' || c == '-' || c == ',' || c == '/') {
            c = '_';
        }
    }
    std::string path = folder;
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path + file + ".px3";
}

} // namespace veltro
