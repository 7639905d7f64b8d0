#pragma once

#include "timing/heat_values.h"

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace veltro {

class EventSession;
class Form_Veltro_SpeakerCard;
class FormRaceCardPreview;

// The event editor "Veltro HDMI event registration": creates, opens and closes event files, and
// edits the event name and day and, heat by heat, the heat's name, start time, length and the dog
// names of boxes 1 to 6. It works on the main window's event session, which outlives it; every
// rule that needs no widget lives in that session.
class Form_event_registration : public QMainWindow {
    Q_OBJECT
public:
    explicit Form_event_registration(EventSession& session, QWidget* owner = nullptr);
    ~Form_event_registration() override;

    // Copies the current heat from the event document into the fields.
    void Load_Heat_Data();
    // The heat frame's caption: "Heat " and the current heat.
    void Update_heat();
    // The file-name label: the current event file's name, or "No event file".
    void Update_Event_file_name();
    // The main window's "No Event File": saves what was typed, then forgets the event file.
    void no_event_file();
    // Menu "Import dog names": a "Start" list or a spreadsheet race card.
    void Import_Dogs();
    // Menu "Print form".
    void print_form();
    // Menu "Make speaker card": the card, filled from the fields as they are now.
    void make_speaker_card();
    // The speaker card, once made.
    Form_Veltro_SpeakerCard* speaker_card() const { return speaker_card_; }

    // The open dialogs; they return the chosen path, or empty text when cancelled.
    std::function<std::string()> choose_event_file;
    std::function<std::string(const std::string& folder)> choose_import_file;
    // Shows the preview of a race card; true when the operator takes it.
    std::function<bool(FormRaceCardPreview& preview)> confirm_card;
    // Steps of a print for the progress window: caption and percent; percent -1 hides it.
    std::function<void(const std::string& caption, int percent)> progress;
    // The waits of printing (window events run meanwhile) and the pause after each imported name
    // (they do not), in ms.
    std::function<void(std::int32_t ms)> wait;
    std::function<void(std::int32_t ms)> import_pause;

signals:
    // The event was saved, or another event file opened or closed: the main window shows it again.
    void event_changed();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    QLineEdit* add_field(QWidget* parent, const char* name);
    // Shows what the session's fields hold, without writing anything back.
    void show_fields();
    void show_heat();
    void selector_changed(int value);
    bool editable() const;
    void text_changed(QLineEdit* field);
    void field_left(QLineEdit* field);
    // Writes the heat fields typed into but not yet left, so that closing or moving keeps them.
    void commit_pending_fields();
    void save();
    void import_race_card(const std::string& bytes);

    EventSession& session_;
    bool showing_ = false;
    bool saving_ = false;
    bool leaving_ = false; // closed or hidden: the save is done, the deactivation that follows needs none
    QLabel* label_file_name = nullptr;
    QLineEdit* Text_day = nullptr;
    QLineEdit* Text_event_name = nullptr;
    QGroupBox* Frame_boxes = nullptr;
    QSpinBox* UpDown_heat = nullptr;
    QLineEdit* Text_heatName = nullptr;
    QLineEdit* Text_heat_start_time = nullptr;
    QLineEdit* Text_heatLength = nullptr;
    std::array<QLabel*, kTimedBoxes> Picture_box{};
    std::array<QLineEdit*, kTimedBoxes> Text_dog_name{};
    Form_Veltro_SpeakerCard* speaker_card_ = nullptr;
};

} // namespace veltro
