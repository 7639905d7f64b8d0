#include "support/ui/frm_progress.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

namespace veltro {

Frm_progress::Frm_progress(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setObjectName("Frm_progress");
    setWindowTitle("Progress");
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel(this);
    label_->setObjectName("Label_caption");
    bar_ = new QProgressBar(this);
    bar_->setObjectName("ProgressBar");
    bar_->setRange(0, 100);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    setMinimumWidth(320);
}

void Frm_progress::Set_Caption(const std::string& text) {
    label_->setText(QString::fromStdString(text));
    label_->repaint();
}

void Frm_progress::Set_Percent(int percent) {
    bar_->setValue(std::clamp(percent, 0, 100));
    bar_->repaint();
}

QString Frm_progress::caption() const {
    return label_->text();
}

int Frm_progress::percent() const {
    return bar_->value();
}

} // namespace veltro
