// The "Diagnostics" menu: the performance window and the JPEG benchmark report.
#include "app/capture_session.h"
#include "app/ui/form_veltro.h"
#include "capture/hdmi_performance.h"
#include "capture/jpeg_benchmark.h"
#include "capture/ui/form_hdmi_performance.h"
#include "support/operator.h"
#include "support/trace.h"

#include <QAction>
#include <QApplication>

namespace veltro {

void Form_Veltro::item_hdmi_performance_click(bool checked) {
    QAction* item = findChild<QAction*>("item_hdmi_performance");
    if (!checked) {
        if (performance_window_) {
            performance_window_->hide();
        }
        return;
    }
    if (!capture_ || capture_->HDMI_10_mill() == 0) {
        item->setChecked(false);
        the_operator().message("No active HDMI source!");
        return;
    }
    if (!performance_window_) {
        performance_window_ = new Form_HDMI_performance(
            clock_, [this]() -> std::int32_t { return capture_ ? capture_->Running_Fps() : 0; }, this);
        performance_window_->compression_text(
            [this] { return compression_text(heat_->session().counters()); });
        // However the window goes (its button, its close box), the menu entry follows.
        connect(performance_window_, &Form_HDMI_performance::hidden, this,
                [item] { item->setChecked(false); });
    }
    Form_HDMI_performance& w = *performance_window_;
    w.Show_Properties(capture_->Current_FriendlyName() + " / " + capture_->Current_PropertyString());
    w.Reset_Counters();
    w.HDMI_Dimensions(hdmi_dimensions_text(capture_->HDMI_Sample_Dimensions(), capture_->HDMI_10_mill()));
    w.Fill_min_max_fps(min_max_fps_text(capture_->MinInterval(), capture_->MaxInterval()));
    w.show();
    w.raise();
}

void Form_Veltro::item_jpeg_benchmark_click() {
    Trace("item_jpeg_benchmark_Click, begin");
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Class_JPG_Bench bench(clock_);
    std::optional<std::string> report;
    try {
        report = jpeg_benchmark_report(bench);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
    if (report) {
        the_operator().message(*report);
    }
}

} // namespace veltro
