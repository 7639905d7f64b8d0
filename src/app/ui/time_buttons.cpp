#include "app/ui/time_buttons.h"

#include "app/ui/review_controller.h"
#include "support/ui/run_trapped.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QPalette>

namespace veltro {

namespace {

std::string location(const std::string& procedure) {
    return procedure + " of Form Form_Veltro";
}

void paint(QAbstractButton* button, const QColor* colour) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button,
                     colour ? *colour : QApplication::palette(button).color(QPalette::Button));
    button->setPalette(palette);
    button->setAutoFillBackground(colour != nullptr);
    button->update();
}

} // namespace

void Paint_toggle(QAbstractButton* button, bool on) {
    paint(button, on ? &kToggleOnColour : nullptr);
}

void Set_Buttons(const std::array<QAbstractButton*, 6>& buttons, const HeatTiming& timing) {
    for (std::int16_t box = 1; box <= 6; ++box) {
        QAbstractButton* b = buttons[static_cast<std::size_t>(box - 1)];
        if (b) {
            paint(b, timing.recording() && timing.box_has_time(box) ? &kBoxHasTimeColour : nullptr);
        }
    }
}

void Wire_box_button(QAbstractButton* button, std::int16_t box, Review_controller& controller) {
    const std::string name = "Command_box_" + std::to_string(box);
    QObject::connect(
        button, &QAbstractButton::pressed, &controller,
        trapped(location(name + "_MouseDown"), [&controller, box] { controller.Box_press(box); }));
    QObject::connect(button, &QAbstractButton::released, &controller,
                     trapped(location(name + "_MouseUp"), [&controller] { controller.Box_release(); }));
    // The click comes after the release: the box is the button's own, not the current box.
    QObject::connect(button, &QAbstractButton::clicked, &controller,
                     trapped(location(name + "_Click"), [&controller, box] { controller.Box_click(box); }));
}

QMenu* Make_Notime_menu(QWidget* parent, HeatTiming& timing, std::function<void()> caption_changed) {
    auto* menu = new QMenu("Notime", parent);
    menu->setObjectName("Notime");
    const std::pair<const char*, const char*> items[] = {
        {"Disqualified", "DSQ"}, {"Did Not Finish", "DNF"}, {"No Rank", "No Rnk"}};
    for (const auto& [text, caption] : items) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QString("item_") + caption);
        QObject::connect(a, &QAction::triggered, menu,
                         trapped(location(std::string("item_") + caption + "_Click"),
                                 [&timing, caption_changed, c = std::string(caption)] {
                                     timing.no_time_caption = c;
                                     if (caption_changed)
                                         caption_changed();
                                 }));
    }
    return menu;
}

void Paint_toggles(QAbstractButton* plus_hundredth, QAbstractButton* dead_heat, QAbstractButton* no_time,
                   const HeatTiming& timing) {
    Paint_toggle(plus_hundredth, timing.plus_hundredth);
    Paint_toggle(dead_heat, timing.dead_heat);
    Paint_toggle(no_time, timing.no_time);
    no_time->setText(QString::fromStdString(timing.no_time_caption));
}

void Wire_toggle_buttons(QAbstractButton* plus_hundredth, QAbstractButton* dead_heat,
                         QAbstractButton* no_time, QMenu* notime_menu, HeatTiming& timing,
                         std::function<void()> focus) {
    auto flip = [=, &timing](bool HeatTiming::*toggle) {
        timing.*toggle = !(timing.*toggle);
        Paint_toggles(plus_hundredth, dead_heat, no_time, timing);
        if (focus)
            focus();
    };
    QObject::connect(plus_hundredth, &QAbstractButton::clicked, plus_hundredth,
                     trapped(location("Paint_cmd_100"), [=] { flip(&HeatTiming::plus_hundredth); }));
    QObject::connect(dead_heat, &QAbstractButton::clicked, dead_heat,
                     trapped(location("Paint_Deadheat"), [=] { flip(&HeatTiming::dead_heat); }));
    QObject::connect(no_time, &QAbstractButton::clicked, no_time,
                     trapped(location("Paint_Notime"), [=] { flip(&HeatTiming::no_time); }));
    no_time->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(no_time, &QWidget::customContextMenuRequested, no_time,
                     [=](const QPoint& at) { notime_menu->popup(no_time->mapToGlobal(at)); });
}

} // namespace veltro
