#include "results/ui/live_address.h"

#include <QMouseEvent>
#include <QPixmap>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>
#include <qrencode.h>

namespace veltro {

namespace {

// Modules of white around the symbol, as the QR standard asks of every reader's view.
constexpr int kQuietModules = 4;
// Window pixels per module: a code of a typical address is then some 300 pixels wide, which a phone
// reads from arm's length off a laptop screen.
constexpr int kWindowModulePixels = 8;

} // namespace

QImage qr_code_image(const QString& text, int module_pixels) {
    if (text.isEmpty() || module_pixels < 1)
        return {};
    const QByteArray bytes = text.toUtf8();
    // Level M: a code shown on a screen is not smudged; the smaller symbol reads more easily.
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code)
        return {};
    const int side = code->width + 2 * kQuietModules;
    QImage one(side, side, QImage::Format_Grayscale8);
    one.fill(255);
    for (int y = 0; y < code->width; ++y) {
        uchar* row = one.scanLine(y + kQuietModules) + kQuietModules;
        const unsigned char* modules = code->data + static_cast<std::ptrdiff_t>(y) * code->width;
        for (int x = 0; x < code->width; ++x) {
            if (modules[x] & 1) // the low bit: a dark module
                row[x] = 0;
        }
    }
    // Whole multiples only: every module stays a square of equal pixels.
    return one.scaled(side * module_pixels, side * module_pixels, Qt::IgnoreAspectRatio,
                      Qt::FastTransformation);
}

LiveAddressLabel::LiveAddressLabel(const QString& address, QWidget* parent) : QLabel(parent) {
    setObjectName("Label_live_results");
    setCursor(Qt::PointingHandCursor);
    setToolTip("Click for the address as a QR code for phones");
    set_address(address);
}

void LiveAddressLabel::set_address(const QString& address) {
    address_ = address;
    setText("Live results: " + address);
    if (window_)
        fill_window();
}

void LiveAddressLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        show_address_window();
        event->accept();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void LiveAddressLabel::show_address_window() {
    if (!window_) {
        // A window of its own that belongs to the label: it goes when the label goes.
        window_ = new QWidget(this, Qt::Window);
        window_->setObjectName("Form_live_results");
        window_->setWindowTitle("Live results");
        window_->setWindowModality(Qt::NonModal);

        code_ = new QLabel(window_);
        code_->setObjectName("Picture_live_results_code");
        code_->setAlignment(Qt::AlignCenter);

        address_text_ = new QLabel(window_);
        address_text_->setObjectName("Label_live_results_address");
        address_text_->setAlignment(Qt::AlignCenter);
        address_text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        QFont big = address_text_->font();
        big.setPointSizeF(big.pointSizeF() * 1.8);
        big.setBold(true);
        address_text_->setFont(big);

        auto* hint = new QLabel("Scan with a phone on the track's network.", window_);
        hint->setAlignment(Qt::AlignCenter);

        auto* layout = new QVBoxLayout(window_);
        layout->addWidget(code_);
        layout->addWidget(address_text_);
        layout->addWidget(hint);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }
    fill_window();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void LiveAddressLabel::fill_window() {
    // Whole device pixels per module on a scaled screen too, so that no module is smeared.
    const qreal ratio = window_->devicePixelRatioF();
    const int module_pixels = std::max(1, static_cast<int>(std::lround(kWindowModulePixels * ratio)));
    const QImage code = qr_code_image(address_, module_pixels);
    if (code.isNull()) {
        code_->setText("The address is too long for a QR code.");
    } else {
        QPixmap pixmap = QPixmap::fromImage(code);
        pixmap.setDevicePixelRatio(static_cast<qreal>(module_pixels) / kWindowModulePixels);
        code_->setPixmap(pixmap);
    }
    address_text_->setText(address_);
}

} // namespace veltro
