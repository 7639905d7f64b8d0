#pragma once

#include "review/slider_marks.h"

#include <QSlider>
#include <vector>

namespace veltro {

// The play slider of the review with its marks painted over the groove and under the handle: the
// pictures where boxes got their finish times and where the capture passes began. Everything else,
// the keys included, is the plain slider's.
class MarkedSlider : public QSlider {
    Q_OBJECT
public:
    explicit MarkedSlider(Qt::Orientation orientation, QWidget* parent = nullptr);

    void set_marks(std::vector<SliderMark> marks);
    const std::vector<SliderMark>& marks() const { return marks_; }
    // The x (widget pixels) of the middle of the handle at `value`: where that picture's mark is.
    int mark_x(int value) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<SliderMark> marks_;
};

} // namespace veltro
