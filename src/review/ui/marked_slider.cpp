#include "review/ui/marked_slider.h"

#include "timing/ui/box_tile.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace veltro {

MarkedSlider::MarkedSlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {
    // Room above and below the groove for the marks to stand out of it.
    setMinimumHeight(std::max(minimumSizeHint().height(), 26));
}

void MarkedSlider::set_marks(std::vector<SliderMark> marks) {
    if (marks != marks_) {
        marks_ = std::move(marks);
        update();
    }
}

int MarkedSlider::mark_x(int value) const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    return groove.x() + handle.width() / 2 +
           QStyle::sliderPositionFromValue(minimum(), maximum(), value, span, opt.upsideDown);
}

void MarkedSlider::paintEvent(QPaintEvent*) {
    // The plain slider's painting in two steps, the marks between them: the handle stays on top.
    QPainter p(this);
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    opt.subControls = QStyle::SC_SliderGroove;
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);

    if (isEnabled()) {
        const int top = 1;
        const int bottom = height() - 2;
        for (const SliderMark& m : marks_) {
            const int x = mark_x(m.position);
            if (m.kind == SliderMarkKind::Pass) {
                p.fillRect(QRect(x - 1, top, 2, bottom - top + 1), qcolor(m.fill));
            } else {
                p.setPen(qcolor(m.outline));
                p.setBrush(qcolor(m.fill));
                p.drawRect(QRect(x - 3, top + 2, 6, bottom - top - 4));
            }
        }
    }

    initStyleOption(&opt);
    opt.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);
}

} // namespace veltro
