#pragma once

#include <QImage>
#include <QLabel>
#include <QString>

namespace veltro {

// `text` as a QR code: black modules on white, `module_pixels` pixels square each, with the quiet
// zone of four modules around the symbol that readers need. A null image when the text cannot be
// encoded (empty, or longer than the largest symbol holds) or `module_pixels` is below 1.
QImage qr_code_image(const QString& text, int module_pixels);

// The live results' address in the status bar ("Live results: http://HOST:PORT/"). A click opens a
// small window with the address as a QR code for phones, and as text to read out or copy. The window
// is made at the first click and kept; it never blocks the main window.
class LiveAddressLabel : public QLabel {
    Q_OBJECT
public:
    explicit LiveAddressLabel(const QString& address, QWidget* parent = nullptr);

    const QString& address() const { return address_; }
    // A new address (the server listens elsewhere): the label and an opened window show it.
    void set_address(const QString& address);
    // Opens the QR code window, or brings it to the front.
    void show_address_window();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void fill_window();

    QString address_;
    QWidget* window_ = nullptr;
    QLabel* code_ = nullptr;
    QLabel* address_text_ = nullptr;
};

} // namespace veltro
