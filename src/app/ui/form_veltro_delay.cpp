// The capture delay measured through the start kit's LED: the LED box drawn on the live picture, and
// the measurement run by a timer on the window thread while the capture thread reads the box.
#include "app/ui/form_veltro.h"
#include "capture/delay_measurement.h"
#include "capture/led_probe.h"
#include "recording/video_file_handler.h"
#include "review/ui/picture_box.h"
#include "support/event_log.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/settings.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/ui/form_veltro_settings.h"
#include "support/ui/run_trapped.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <random>

namespace veltro {

namespace {
const QColor kBoxColour(255, 220, 0);
} // namespace

// Eats the live picture's mouse while the operator draws the LED box, so that the goal line stays put.
struct Form_Veltro::Delay_parts final : QObject {
    explicit Delay_parts(Form_Veltro& f) : form(f) {}
    ~Delay_parts() override {
        if (run) {
            form.capture_->picture_probe({});
        }
    }
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The box from where the drag began to `to`, inside the picture and no larger than allowed.
    LedBox box_to(QPointF to) const;

    Form_Veltro& form;
    // Drawing the box: where the drag began, and the box so far.
    bool placing = false;
    std::optional<QPointF> drag_from;
    std::optional<LedBox> dragged;
    // The box stays on the live picture from its drawing to the end of the next measurement.
    bool show_box = false;
    // The measurement running.
    QTimer timer;
    std::shared_ptr<LedProbe> probe;
    std::optional<DelayMeasurement> run;
    std::string source;
    std::string format;
};

void Form_Veltro::DelayPartsDeleter::operator()(Delay_parts* parts) const {
    delete parts;
}

LedBox Form_Veltro::Delay_parts::box_to(QPointF to) const {
    const double w = form.crop_width_;
    const double h = form.crop_height_;
    const QPointF from(std::clamp(drag_from->x(), 0.0, w), std::clamp(drag_from->y(), 0.0, h));
    to.setX(std::clamp(std::clamp(to.x(), 0.0, w), from.x() - kMaxLedBoxSide, from.x() + kMaxLedBoxSide));
    to.setY(std::clamp(std::clamp(to.y(), 0.0, h), from.y() - kMaxLedBoxSide, from.y() + kMaxLedBoxSide));
    const auto left = static_cast<std::int32_t>(std::floor(std::min(from.x(), to.x())));
    const auto top = static_cast<std::int32_t>(std::floor(std::min(from.y(), to.y())));
    const auto right = static_cast<std::int32_t>(std::ceil(std::max(from.x(), to.x())));
    const auto bottom = static_cast<std::int32_t>(std::ceil(std::max(from.y(), to.y())));
    return {left, top, std::min(right - left, kMaxLedBoxSide), std::min(bottom - top, kMaxLedBoxSide)};
}

bool Form_Veltro::Delay_parts::eventFilter(QObject* watched, QEvent* event) {
    if (!placing || watched != form.picture_) {
        return false;
    }
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPointF at = form.picture_->to_picture(mouse->position());
    run_trapped(where("Picture_live_LED_box"), [&] {
        if (type == QEvent::MouseButtonPress && mouse->button() == Qt::RightButton) {
            placing = false;
            drag_from.reset();
            dragged.reset();
            form.picture_->unsetCursor();
        } else if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
            drag_from = at;
            dragged = box_to(at);
        } else if (type == QEvent::MouseMove && drag_from && (mouse->buttons() & Qt::LeftButton)) {
            dragged = box_to(at);
        } else if (type == QEvent::MouseButtonRelease && drag_from && mouse->button() == Qt::LeftButton) {
            const LedBox box = box_to(at);
            drag_from.reset();
            dragged.reset();
            // A click without a drag draws nothing: the operator tries again.
            if (parse_led_box(led_box_text(box))) {
                Write_Setting(keys::led_box, led_box_text(box));
                Trace("*LED box placed at " + led_box_text(box));
                placing = false;
                show_box = true;
                form.picture_->unsetCursor();
            }
        }
        form.picture_->update();
    });
    return true;
}

void Form_Veltro::build_delay_items(QMenu* menu) {
    delay_parts_.reset(new Delay_parts(*this));
    Delay_parts& d = *delay_parts_;
    picture_->installEventFilter(&d);
    d.timer.setSingleShot(true);
    d.timer.setTimerType(Qt::PreciseTimer);
    connect(&d.timer, &QTimer::timeout, this,
            trapped(where("Timer_measure_delay_Timer"), [this] { measure_delay_tick(); }));
    picture_->add_overlay([this](QPainter& p, const QSize& size) {
        if (!delay_parts_) {
            return;
        }
        const Delay_parts& parts = *delay_parts_;
        if (!live_view_ || !live_picture_shown_ || !(parts.placing || parts.show_box || parts.run)) {
            return;
        }
        std::optional<LedBox> box = parts.dragged;
        if (!box) {
            box = parse_led_box(Read_Setting(keys::led_box));
        }
        p.setPen(QPen(kBoxColour, 1));
        p.setBrush(Qt::NoBrush);
        if (box) {
            p.drawRect(QRectF(box->x - 0.5, box->y - 0.5, box->width + 1, box->height + 1));
        }
        QString text;
        if (parts.placing) {
            text = "Drag a box around the LED (right button: cancel)";
        } else if (parts.run) {
            text = QString("Measuring the capture delay: flash %1 of %2")
                       .arg(parts.run->flashes_made())
                       .arg(parts.run->flashes());
        }
        if (!text.isEmpty()) {
            QFont font("Arial");
            font.setPixelSize(std::max(10, size.width() / 28));
            p.setFont(font);
            const QRectF band(0, size.height() - font.pixelSize() * 2.2, size.width(),
                              font.pixelSize() * 2.2);
            p.fillRect(band, QColor(0, 0, 0, 160));
            p.drawText(band, Qt::AlignCenter, text);
        }
    });
    add_item(menu, "item_place_led_box", "Place LED box", [this] { item_place_led_box_click(); });
    QAction* measure =
        add_item(menu, "item_measure_delay", "Measure capture delay", [this] { item_measure_delay_click(); });
    measure->setCheckable(true);
}

void Form_Veltro::item_place_led_box_click() {
    Delay_parts& d = *delay_parts_;
    if (d.run) {
        the_operator().beep();
        return;
    }
    if (!cameras_running() || !live_view_ || !live_picture_shown_) {
        the_operator().message("Start the camera first: the LED box is drawn on the live picture.");
        return;
    }
    d.placing = true;
    d.drag_from.reset();
    d.dragged.reset();
    picture_->setCursor(Qt::CrossCursor);
    picture_->update();
}

void Form_Veltro::item_measure_delay_click() {
    Delay_parts& d = *delay_parts_;
    QAction* item = findChild<QAction*>("item_measure_delay");
    if (d.run) {
        end_delay_measurement(false);
        the_operator().message("The capture delay measurement was stopped. Nothing was changed.");
        return;
    }
    item->setChecked(false);
    if (!cameras_running() || !live_view_ || !live_picture_shown_) {
        the_operator().message("Start the camera first: the capture delay is measured on the live picture.");
        return;
    }
    if (heat_->heat_start_counter() != 0 || heat_->capturing()) {
        the_operator().message(
            "Finish the heat before measuring the capture delay: the measurement switches the start "
            "switch's LED.");
        return;
    }
    const std::int16_t fps = capture_->Running_Fps();
    if (fps <= 0) {
        the_operator().message("Waiting to measure camera fps!\n(See display under the rotating arm!)");
        return;
    }
    const std::string box_text = Read_Setting(keys::led_box);
    const std::optional<LedBox> box = parse_led_box(box_text);
    if (!box) {
        the_operator().message(
            box_text == "N/A" ? "Place the LED box first: choose Diagnostics / Place LED box and drag a "
                                "small box around the LED on the live picture."
                              : "The LED box " + box_text + " is no box of up to " +
                                    std::to_string(kMaxLedBoxSide) + " x " + std::to_string(kMaxLedBoxSide) +
                                    " pixels: place it again (Diagnostics / Place LED box).");
        return;
    }
    if (!led_box_inside(*box, crop_width_, crop_height_)) {
        the_operator().message("The LED box " + box_text + " does not lie inside the " +
                               std::to_string(crop_width_) + "*" + std::to_string(crop_height_) +
                               " picture: place it again (Diagnostics / Place LED box).");
        return;
    }

    d.placing = false;
    d.drag_from.reset();
    d.dragged.reset();
    picture_->unsetCursor();
    const bool interlaced = interlaced_at_rate(fps);
    d.probe = std::make_shared<LedProbe>(*box, interlaced);
    d.run.emplace(kDefaultFlashes, 1000.0 / fps, interlaced, std::random_device{}());
    d.source = capture_->Current_FriendlyName();
    d.format = capture_->Current_PropertyString();
    capture_->picture_probe(
        [probe = d.probe](const cDIBSection& picture, std::uint32_t at) { probe->take(picture, at); });
    d.run->begin(now());
    item->setChecked(true);
    Trace("*Capture delay measurement begins: " + d.source + ", " + d.format + ", LED box " + box_text);
    progress_steps()("Measuring the capture delay", 0);
    measure_delay_tick();
}

void Form_Veltro::measure_delay_tick() {
    Delay_parts& d = *delay_parts_;
    if (!d.run) {
        return;
    }
    if (!capture_->Running()) {
        end_delay_measurement(false);
        the_operator().message("The camera stopped: the capture delay measurement was stopped. Nothing was "
                               "changed.");
        return;
    }
    if (const std::optional<bool> on = d.run->due(now())) {
        d.run->switched(*on, set_led(*on));
    }
    d.run->add(d.probe->take_samples());
    if (d.run->finished(now())) {
        end_delay_measurement(true);
        return;
    }
    progress_steps()({}, 100 * d.run->flashes_made() / d.run->flashes());
    // A real run wakes at the next switch; tests on a manual clock tick it themselves.
    if (start_.watch_devices) {
        d.timer.start(std::clamp(d.run->wait_ms(now()), 1, 50));
    }
}

void Form_Veltro::end_delay_measurement(bool completed) {
    Delay_parts& d = *delay_parts_;
    d.timer.stop();
    capture_->picture_probe({});
    std::optional<DelayMeasurement> run = std::move(d.run);
    d.run.reset();
    d.probe.reset();
    d.show_box = false;
    findChild<QAction*>("item_measure_delay")->setChecked(false);
    progress_steps()({}, -1);
    picture_->update();
    // The LED goes back to showing the start switch.
    set_led(false);
    Check_Attached();
    if (!completed || !run) {
        Trace("*Capture delay measurement stopped");
        return;
    }

    const DelayResult result = run->result();
    const std::string text = delay_result_text(result);
    Trace("*Capture delay measurement: " + text);
    if (result.outcome == DelayResult::Outcome::NoChange) {
        the_operator().message(text + "\n\nThe LED box saw no change while the LED was switched " +
                               std::to_string(result.planned) +
                               " times. Check that the LED is inside the box (Diagnostics / Place LED box) "
                               "and that the start switch is attached. Nothing was changed.");
        return;
    }
    if (result.outcome == DelayResult::Outcome::Unsteady) {
        the_operator().message(text + "\n\nSomething else changes in the LED box: draw it tight around the "
                                      "LED, with nothing moving in it. Nothing was changed.");
        return;
    }

    Log_Event("Capture delay measured: " + d.source + ", " + d.format + ": " + text);
    store_delay_record({now_default_datetime(), d.source, d.format, text});
    const std::int32_t goal = timing_.settings().goal_compensation;
    const auto measured = static_cast<std::int32_t>(round_half_even(result.delay_ms));
    if (measured == goal) {
        the_operator().message(text + "\n\nThe goal compensation is " + std::to_string(goal) +
                               " ms already.");
        return;
    }
    if (!the_operator().ask_yes_no(text + "\n\nThe goal compensation is " + std::to_string(goal) +
                                   " ms. Set it to the measured delay, " + std::to_string(measured) +
                                   " ms?")) {
        return;
    }
    if (Write_Setting(keys::goal_compensation, std::to_string(measured)) == 0) {
        return;
    }
    Load_Compensations();
    if (settings_window_ && settings_window_->isVisible()) {
        const TimingSettings& t = timing_.settings();
        settings_window_->load(t.goal_compensation, t.split_compensation, t.box_delay);
    }
    Log_Event("Goal compensation set to " + std::to_string(measured) + " ms (was " + std::to_string(goal) +
              " ms) from the measured capture delay");
}

} // namespace veltro
