#pragma once

#include "capture/hdmi_performance.h"
#include "support/clocks.h"

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

class QAction;
class QLabel;
class QMenu;

namespace veltro {

// "HDMI performance": the live frame timing of the running capture source. The main window feeds it
// one HDMI_event per received frame; that call only counts and stores the delta, and the labels and
// the chart are refreshed together at most once per kRefreshMs, so a visible window costs the capture
// path next to nothing.
class Form_HDMI_performance : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 200;

    // `clock` (not owned) is the timer the counts are taken against; `running_fps` gives the rate the
    // main window last showed, which picks the nominal period.
    Form_HDMI_performance(const Clock& clock, std::function<std::int32_t()> running_fps,
                          QWidget* parent = nullptr);

    void HDMI_event(std::uint32_t mill, std::int32_t delta);
    void Reset_Counters();
    void Get_Start() { Reset_Counters(); }
    void Plot_Delta(std::int32_t delta);
    void Show_Properties(const std::string& text);
    void HDMI_Dimensions(const std::string& text);
    void Fill_min_max_fps(const std::string& text);
    // What the compression of the capture that is on has done, read at every refresh.
    void compression_text(std::function<std::string()> text) { compression_text_ = std::move(text); }

    void command_hide_me_click();
    void command_print_form_click();
    void command_copy_to_clipboard_click();
    void item_random_delta_click();

    // Shows what was fed since the last refresh; runs by itself on the refresh timer.
    void refresh();
    const HdmiPerformanceCounters& counters() const { return counters_; }
    const DeltaHistory& deltas() const { return deltas_; }
    QMenu* debug_menu() const { return menu_debug_; }

signals:
    // The window was hidden (its button, its close box or the main window).
    void hidden();

protected:
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void schedule_refresh();

    const Clock& clock_;
    std::function<std::int32_t()> running_fps_;
    HdmiPerformanceCounters counters_;
    DeltaHistory deltas_;
    QTimer refresh_timer_;
    QTimer random_timer_;
    QWidget* chart_;
    QLabel* label_received_;
    QLabel* label_calculated_;
    QLabel* label_lost_;
    QLabel* label_min_max_fps_;
    QLabel* label_compression_;
    std::function<std::string()> compression_text_;
    QLabel* label_dimensions_;
    QLabel* label_prop_;
    QMenu* menu_debug_;
    QAction* item_random_delta_;
};

} // namespace veltro
