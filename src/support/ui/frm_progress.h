#pragma once

#include <QWidget>
#include <string>

class QLabel;
class QProgressBar;

namespace veltro {

// The small progress window of long operations: one line of text and a bar from 0 to 100.
class Frm_progress : public QWidget {
    Q_OBJECT
public:
    explicit Frm_progress(QWidget* parent = nullptr);

    void Set_Caption(const std::string& text);
    // Clamped to 0..100; the window repaints at once, so it moves while the caller keeps the thread.
    void Set_Percent(int percent);

    QString caption() const;
    int percent() const;

private:
    QLabel* label_;
    QProgressBar* bar_;
};

} // namespace veltro
