#pragma once

#include "events/heat_competitors.h"

#include <QMainWindow>
#include <array>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace veltro {

class EventSession;
class HeatValues;

// The heat competitor list "Veltro HDMI heat competitors": the heat name and the six dog names of
// the open recording, which can be taken from any heat of the event file. Every field change that
// alters the recording asks the main window to handle its results again (`results_changed`); closing
// it (menu "Hide" or the frame) puts a changed header on disk and asks for the results to be shown
// again (`unloaded`).
class Form_heat_competitors : public QMainWindow {
    Q_OBJECT
public:
    Form_heat_competitors(HeatValues& rec, const EventSession& session, QWidget* owner = nullptr);
    ~Form_heat_competitors() override;

    // The opening: the recording's names, then the event file's names of the selector's heat, which
    // starts at the recording's heat (else `main_heat`); a heat without names in the event file keeps
    // the recording's. Names that differ from the recording's are written into it and put on disk.
    // The main window calls it again whenever another recording opens or the open one closes.
    void Form_Load(std::int16_t main_heat);
    // "Hide": closes the window as its frame does.
    void item_hide_click();

    const HeatCompetitorList& list() const { return list_; }

signals:
    void results_changed(); // Handle_results
    void unloaded();        // Display_Result_Array

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void show_fields();
    void up_down_heat_change(int heat);
    void apply_heat(int heat, bool opening);
    void text_dog_name_change(int box);
    void text_heat_name_change();
    void command_update_click();
    void store_changes();

    HeatCompetitorList list_;
    QSpinBox* UpDown_heat = nullptr;
    QLabel* Label_heatno = nullptr;
    QLineEdit* Text_Heat_name = nullptr;
    std::array<QLineEdit*, kTimedBoxes> Text_dog_name{};
    QPushButton* command_update = nullptr;
};

} // namespace veltro
