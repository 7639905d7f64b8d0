#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QMenu;

namespace veltro {

// What the About window learns from the parts that own capture and the interface kit; the program
// sets these at start-up. Unset, the window shows no sources and no kit library.
struct AboutSources {
    std::function<std::vector<std::string>()> video_sources; // names of the capture sources
    std::function<std::string()> capture_backends;           // e.g. "demo camera, V4L2"
    std::function<std::string()> interface_kit_version;      // empty when no kit back end is available
};
AboutSources& about_sources();

// The About window: version and build, the components in use, the data folder, and a few
// diagnostics in its menus.
class frmAbout : public QWidget {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* label(const char* name) const;
    QMenu* debug_menu() const { return debug_menu_; }

    void item_print_click();
    void item_date_formats_click();
    void item_video_sources_click();
    void label_userapp_click();
    void cmd_sys_info_click();

    // Shows or hides the "Debug" menu; clicking "Form" with Ctrl held does it.
    void toggle_debug_menu();

    // The text of "Debug" / "Date formats" for the given moment.
    static std::string date_formats_text();

private:
    QMenu* debug_menu_ = nullptr;
};

} // namespace veltro
