// The "View" menu: zoom around the goal line, brightness, contrast and gamma of the review picture,
// each on a key of its own. Display only: the recording is never changed, and the live picture is
// shown as it comes. The view lasts while the program runs; it is not stored.
#include "app/ui/form_veltro.h"
#include "review/review.h"
#include "review/ui/picture_box.h"
#include "support/operator.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace veltro {

void Form_Veltro::build_view_menu() {
    QMenu* view = menuBar()->addMenu("View");
    view->setObjectName("menu_view");
    auto item = [&](const char* name, const QString& caption, QList<QKeySequence> keys,
                    std::function<void()> handler) {
        QAction* a = add_item(view, name, caption, std::move(handler));
        a->setShortcuts(keys);
    };
    // "+" is Shift+= on many keyboards: both the sign and its key zoom in.
    item("item_zoom_in", "Zoom in", {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal)},
         [this] { item_zoom_click(+1); });
    item("item_zoom_out", "Zoom out", {QKeySequence(Qt::Key_Minus)}, [this] { item_zoom_click(-1); });
    view->addSeparator();
    const struct {
        const char* name;
        const char* caption;
        Qt::Key key;
        bool (ViewAdjust::*knob)(int);
    } knobs[] = {{"brightness", "Brightness", Qt::Key_B, &ViewAdjust::step_brightness},
                 {"contrast", "Contrast", Qt::Key_C, &ViewAdjust::step_contrast},
                 {"gamma", "Gamma", Qt::Key_G, &ViewAdjust::step_gamma}};
    for (const auto& k : knobs) {
        const auto knob = k.knob;
        item((std::string("item_") + k.name + "_up").c_str(), QString(k.caption) + " up",
             {QKeySequence(k.key)}, [this, knob] { item_view_enhance_click(knob, +1); });
        item((std::string("item_") + k.name + "_down").c_str(), QString(k.caption) + " down",
             {QKeySequence(Qt::SHIFT | k.key)}, [this, knob] { item_view_enhance_click(knob, -1); });
    }
    view->addSeparator();
    item("item_reset_view", "Reset view", {QKeySequence(Qt::Key_0)}, [this] { item_reset_view_click(); });
}

void Form_Veltro::item_zoom_click(int steps) {
    if (!reviewing() || !picture_->view_applies()) {
        the_operator().beep();
        return;
    }
    const Goal_line line = review().drawn_goal_line();
    const QPointF middle((line.x1 + line.x2) / 2.0, (line.y1 + line.y2) / 2.0);
    if (!picture_->zoom_by(steps, middle)) {
        the_operator().beep();
    }
}

void Form_Veltro::item_view_enhance_click(bool (ViewAdjust::*knob)(int), int step) {
    if (!reviewing() || !(picture_->view().*knob)(step)) {
        the_operator().beep();
        return;
    }
    picture_->view_changed();
}

void Form_Veltro::item_reset_view_click() {
    picture_->view().reset();
    picture_->view_changed();
}

} // namespace veltro
