#include "capture/ui/form_hdmi_performance.h"

#include "support/app_paths.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/ui/print_target.h"
#include "support/ui/run_trapped.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <random>

namespace veltro {
namespace {

const std::string kOwner = " of Form Form_HDMI_performance";
constexpr int kChartHeight = 120;
constexpr int kChartWidth = 400;
constexpr int kScaleWidth = 24;
constexpr int kReferenceMs[3] = {20, 40, 80};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// Picture_Delta_Scroll: one column per frame, the newest at the right edge, drawn from the history
// whenever Qt repaints, so many frames between two repaints cost one paint.
class DeltaChart : public QWidget {
public:
    DeltaChart(const DeltaHistory& deltas, QWidget* parent) : QWidget(parent), deltas_(deltas) {
        setObjectName("Picture_Delta_Scroll");
        setFixedSize(kChartWidth, kChartHeight);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        const int w = width();
        const int h = height();
        p.setPen(QPen(QColor(0, 0, 255), 1)); // 0xFF0000
        const std::size_t columns = std::min<std::size_t>(deltas_.size(), static_cast<std::size_t>(w));
        for (std::size_t i = 0; i < columns; ++i) {
            const DeltaColumn c = plot_delta_column(w, h, deltas_.back(i));
            const int x = c.x - static_cast<int>(i);
            p.drawLine(x, c.y_bottom, x, c.y_top);
        }
        const DeltaColumn ref = plot_delta_column(w, h, 0);
        p.setPen(QPen(QColor(255, 255, 0), 1)); // 0xFFFF
        for (int y : ref.reference_y) {
            p.drawLine(ref.reference_x_from, y, w - 1, y);
        }
    }

private:
    const DeltaHistory& deltas_;
};

// Picture_Scale: the chart's marks beside it, at the heights of the reference lines.
class DeltaScale : public QWidget {
public:
    explicit DeltaScale(QWidget* parent) : QWidget(parent) {
        setObjectName("Picture_Scale");
        setFixedSize(kScaleWidth, kChartHeight);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QFont font("Times");
        font.setPixelSize(11);
        p.setFont(font);
        for (int ms : kReferenceMs) {
            const int y = height() - ms;
            p.drawText(QRect(0, y - 7, width() - 2, 14), Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(ms));
        }
    }
};

QLabel* value_label(const char* name, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(70);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

QLabel* text_under(QGridLayout* grid, int row, const char* caption, const char* name, QWidget* parent) {
    grid->addWidget(new QLabel(caption, parent), row, 0);
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setWordWrap(true);
    grid->addWidget(l, row + 1, 0);
    return l;
}

} // namespace

Form_HDMI_performance::Form_HDMI_performance(const Clock& clock, std::function<std::int32_t()> running_fps,
                                             QWidget* parent)
    : QWidget(parent, Qt::Window), clock_(clock), running_fps_(std::move(running_fps)) {
    setObjectName("Form_HDMI_performance");
    setWindowTitle("HDMI performance");

    auto* bar = new QMenuBar(this);
    QMenu* menu_form = bar->addMenu("Form");
    menu_form->setObjectName("menu_form");
    connect(menu_form->addAction("Copy to Clipboard"), &QAction::triggered, this,
            trapped("item_copy_to_clipboard_Click" + kOwner, [this] { command_copy_to_clipboard_click(); }));
    connect(menu_form->addAction("Print Form"), &QAction::triggered, this,
            trapped("item_print_form_Click" + kOwner, [this] { command_print_form_click(); }));
    menu_debug_ = bar->addMenu("Debug");
    menu_debug_->setObjectName("menu_debug");
    item_random_delta_ = menu_debug_->addAction("Random Delta");
    item_random_delta_->setObjectName("item_random_delta");
    item_random_delta_->setCheckable(true);
    connect(item_random_delta_, &QAction::triggered, this,
            trapped("item_random_delta_Click" + kOwner, [this] { item_random_delta_click(); }));
    menu_debug_->menuAction()->setVisible(is_debug_run());

    auto* frame = new QGroupBox("HDMI Performance", this);
    frame->setObjectName("Frame_performance");
    auto* frame_layout = new QVBoxLayout(frame);
    auto* header = new QLabel("Received    Calculated   Lost", frame);
    header->setObjectName("Label_header");
    frame_layout->addWidget(header);
    auto* counts = new QHBoxLayout;
    label_received_ = value_label("Label_Frames_received", frame);
    label_calculated_ = value_label("Label_frames_Calculated", frame);
    label_lost_ = value_label("Label_frames_lost", frame);
    label_lost_->setToolTip("Click to reset the counters");
    label_lost_->installEventFilter(this);
    for (QLabel* l : {label_received_, label_calculated_, label_lost_}) {
        counts->addWidget(l);
    }
    counts->addStretch(1);
    frame_layout->addLayout(counts);
    auto* chart_row = new QHBoxLayout;
    chart_row->setSpacing(0);
    chart_row->addWidget(new DeltaScale(frame));
    chart_ = new DeltaChart(deltas_, frame);
    chart_row->addWidget(chart_);
    chart_row->addStretch(1);
    frame_layout->addLayout(chart_row);
    label_min_max_fps_ = new QLabel(frame);
    label_min_max_fps_->setObjectName("Label_min_max_fps");
    frame_layout->addWidget(label_min_max_fps_);
    label_compression_ = new QLabel(frame);
    label_compression_->setObjectName("Label_compression");
    frame_layout->addWidget(label_compression_);

    auto* facts = new QGridLayout;
    label_dimensions_ = text_under(facts, 0, "Actual sample dimensions, fps", "Label_HDMI_dimensions", this);
    label_prop_ = text_under(facts, 2, "Video Source/Property", "Label_prop", this);
    QLabel* os = text_under(facts, 4, "Windows version", "Label_Windows_version", this);
    QLabel* pc = text_under(facts, 6, "Pc info", "Lbl_PC_info", this);
    const ProcessFacts& f = process_facts();
    os->setText(qs(f.os_version));
    pc->setText(qs(f.computer_name + ", " + f.cpu_info + ", " + f.physical_memory));

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, const char* caption, std::function<void()> click) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this,
                trapped(std::string(name) + "_Click" + kOwner, std::move(click)));
        buttons->addWidget(b);
    };
    button("Command_Hide_Me", "Hide  Form", [this] { command_hide_me_click(); });
    button("Command_Print_Form", "Print Form", [this] { command_print_form_click(); });
    button("Command_copy_to_clipboard", "Copy form to Clipboard",
           [this] { command_copy_to_clipboard_click(); });

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(bar);
    layout->addWidget(frame);
    layout->addLayout(facts);
    layout->addLayout(buttons);

    refresh_timer_.setSingleShot(true);
    refresh_timer_.setInterval(kRefreshMs);
    connect(&refresh_timer_, &QTimer::timeout, this, trapped("Refresh" + kOwner, [this] { refresh(); }));
    random_timer_.setInterval(40);
    connect(&random_timer_, &QTimer::timeout, this, trapped("Timer_random_Timer" + kOwner, [this] {
        static std::mt19937 engine{std::random_device{}()};
        Plot_Delta(40 + std::lround(std::uniform_real_distribution<double>(0, 1)(engine) * 30));
    }));
    Reset_Counters();
}

void Form_HDMI_performance::HDMI_event(std::uint32_t, std::int32_t delta) {
    // Counted against the timer now, as the nominal count is; the frame's own stamp is not needed.
    counters_.HDMI_event(clock_.millis(), running_fps_ ? running_fps_() : 0);
    Plot_Delta(delta);
}

void Form_HDMI_performance::Reset_Counters() {
    counters_.Reset_Counters(clock_.millis());
    schedule_refresh();
}

void Form_HDMI_performance::Plot_Delta(std::int32_t delta) {
    deltas_.push(delta);
    schedule_refresh();
}

void Form_HDMI_performance::schedule_refresh() {
    if (!refresh_timer_.isActive()) {
        refresh_timer_.start();
    }
}

void Form_HDMI_performance::refresh() {
    refresh_timer_.stop();
    label_received_->setText(QString::number(counters_.received()));
    label_calculated_->setText(QString::number(counters_.calculated()));
    label_lost_->setText(QString::number(counters_.lost()));
    if (compression_text_) {
        label_compression_->setText(QString::fromStdString(compression_text_()));
    }
    chart_->update();
}

void Form_HDMI_performance::Show_Properties(const std::string& text) {
    label_prop_->setText(qs(text));
}

void Form_HDMI_performance::HDMI_Dimensions(const std::string& text) {
    label_dimensions_->setText(qs(text));
}

void Form_HDMI_performance::Fill_min_max_fps(const std::string& text) {
    label_min_max_fps_->setText(qs(text));
}

void Form_HDMI_performance::command_hide_me_click() {
    hide();
}

void Form_HDMI_performance::hideEvent(QHideEvent* event) {
    random_timer_.stop();
    item_random_delta_->setChecked(false);
    QWidget::hideEvent(event);
    emit hidden();
}

bool Form_HDMI_performance::eventFilter(QObject* watched, QEvent* event) {
    if (watched == label_lost_ && event->type() == QEvent::MouseButtonPress) {
        run_trapped("Label_frames_lost_Click" + kOwner, [this] {
            Reset_Counters();
            refresh();
        });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form_HDMI_performance::command_copy_to_clipboard_click() {
    refresh();
    QApplication::clipboard()->setPixmap(grab());
}

void Form_HDMI_performance::command_print_form_click() {
    refresh();
    const bool ask = printer_dialog_wanted();
    PrintTarget target = choose_print_target(this, qs(std::string(kProgramId) + "_hdmi_performance"), ask);
    if (!target.printer) {
        return;
    }
    if (grab().isNull()) {
        the_operator().message("Sorry can't print this time....");
        return;
    }
    if (!print_window_image(this, *target.printer)) {
        the_operator().message("Windows reports Printer error!");
        return;
    }
    tell_if_printed_to_file(target, "the form is");
}

void Form_HDMI_performance::item_random_delta_click() {
    if (random_timer_.isActive()) {
        random_timer_.stop();
    } else {
        random_timer_.start();
    }
    item_random_delta_->setChecked(random_timer_.isActive());
}

} // namespace veltro
