#pragma once

#include <QWidget>
#include <functional>

class QCheckBox;
class QLineEdit;

namespace veltro {

// "Veltro HDMI Settings": three switches, three delays and the seconds per length. Every change is
// written to the settings store at once; after a delay changes, `load_compensations` (the main
// window's reload of the timing values) runs. The seconds per length are read where they are used.
class Form_Veltro_settings : public QWidget {
    Q_OBJECT
public:
    explicit Form_Veltro_settings(std::function<void()> load_compensations, QWidget* parent = nullptr);

    // Fills the controls from the settings store; the delay fields show the given timing values.
    void load(std::int32_t goal_compensation, std::int32_t split_compensation, std::int32_t box_delay);

    QCheckBox* Check_Auto_init() const { return auto_init_; }
    QCheckBox* Check_print_dialog() const { return print_dialog_; }
    QCheckBox* Check_open_after_finish() const { return open_after_finish_; }
    QLineEdit* Text_Box_delay() const { return box_delay_; }
    QLineEdit* Text_goalcam_delay() const { return goal_delay_; }
    QLineEdit* Text_splitcam_delay() const { return split_delay_; }
    QLineEdit* text_seconds_per_length() const { return seconds_per_length_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QCheckBox* check(const char* name, const char* caption, const char* key);
    QLineEdit* delay_field(const char* name, const char* key);

    std::function<void()> load_compensations_;
    QCheckBox* auto_init_;
    QCheckBox* print_dialog_;
    QCheckBox* open_after_finish_;
    QCheckBox* replace_without_asking_;
    QLineEdit* box_delay_;
    QLineEdit* goal_delay_;
    QLineEdit* split_delay_;
    QLineEdit* seconds_per_length_;
    bool loading_ = false;
};

// The three switches as the rest of the program reads them: the integer value of the key, default
// "0"; anything but a whole number other than 0 counts as off.
bool setting_switch_on(const char* key);

} // namespace veltro
