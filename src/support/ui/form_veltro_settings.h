#pragma once

#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace veltro {

struct SettingKey;

// "Veltro HDMI Settings": three switches, three delays and the seconds per length. Every change is
// written to the settings store at once; after a delay changes, `load_compensations` (the main
// window's reload of the timing values) runs. The seconds per length are read where they are used.
//
// "Live results": the server's switch, port, network and officials' token, and the scoreboard line
// output's switch and target. A switch or a network is stored when chosen; a typed value when the
// field is left or Enter is pressed (not at every keystroke: each stored value starts the server
// again). A port outside 1..65535 or a target not of the scoreboard's forms is not stored: the
// operator hears a beep and reads why under the group.
class Form_Veltro_settings : public QWidget {
    Q_OBJECT
public:
    explicit Form_Veltro_settings(std::function<void()> load_compensations, QWidget* parent = nullptr);
    ~Form_Veltro_settings() override;

    // Fills the controls from the settings store; the delay fields show the given timing values.
    void load(std::int32_t goal_compensation, std::int32_t split_compensation, std::int32_t box_delay);

    QCheckBox* Check_Auto_init() const { return auto_init_; }
    QCheckBox* Check_print_dialog() const { return print_dialog_; }
    QCheckBox* Check_open_after_finish() const { return open_after_finish_; }
    QLineEdit* Text_Box_delay() const { return box_delay_; }
    QLineEdit* Text_goalcam_delay() const { return goal_delay_; }
    QLineEdit* Text_splitcam_delay() const { return split_delay_; }
    QLineEdit* text_seconds_per_length() const { return seconds_per_length_; }

    // Called after a live results or scoreboard value is stored.
    std::function<void()> live_results_changed;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QCheckBox* check(const char* name, const char* caption, const char* key);
    QLineEdit* delay_field(const char* name, const char* key);
    QGroupBox* live_results_group();
    // The choices of networks to serve on, with the stored address chosen (added when it is none of
    // them).
    void fill_networks();
    // Stores a live results value and tells the main window; nothing when it is stored already.
    void store_live(const SettingKey& key, const QString& value);
    // A typed live results value that is not stored: a beep and `why` under the group, until the
    // field's value is stored.
    void refuse_live(const QLineEdit* field, const QString& why);
    void accept_live(const QLineEdit* field);
    void store_port();
    void store_scoreboard_target();

    std::function<void()> load_compensations_;
    QCheckBox* auto_init_;
    QCheckBox* print_dialog_;
    QCheckBox* open_after_finish_;
    QCheckBox* replace_without_asking_;
    QLineEdit* box_delay_;
    QLineEdit* goal_delay_;
    QLineEdit* split_delay_;
    QLineEdit* seconds_per_length_;
    QCheckBox* live_results_ = nullptr;
    QLineEdit* live_port_ = nullptr;
    QComboBox* live_network_ = nullptr;
    QLineEdit* live_token_ = nullptr;
    QCheckBox* scoreboard_ = nullptr;
    QLineEdit* scoreboard_target_ = nullptr;
    QLabel* live_refused_ = nullptr;
    const QLineEdit* refused_field_ = nullptr;
    bool loading_ = false;
};

// The three switches as the rest of the program reads them: the integer value of the key, default
// "0"; anything but a whole number other than 0 counts as off.
bool setting_switch_on(const char* key);

} // namespace veltro
