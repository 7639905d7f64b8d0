#pragma once

#include "timing/heat_values.h"

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QPrinter;

namespace veltro {

// What the card shows: the editor's fields at the moment the card was made.
struct SpeakerCardValues {
    std::string event_name;
    std::int16_t heat = 1;
    std::string heat_name;
    std::string start_time;
    std::string length;
    std::array<std::string, kTimedBoxes> dog_names;
};

// The speaker card "Veltro HDMI SpeakerCard": a printable card for the race announcer with the
// event, the heat, its start time and length, and the six boxes with their dogs.
class Form_Veltro_SpeakerCard : public QMainWindow {
    Q_OBJECT
public:
    explicit Form_Veltro_SpeakerCard(QWidget* owner = nullptr);

    // Copies the values into the labels; later changes of the editor's fields do not reach the card.
    void fill(const SpeakerCardValues& values);
    SpeakerCardValues shown() const;
    // Paints the six box badges.
    void fill_Boxes();
    // The menu "Print": the card on one page (printer dialog with Alt held or when the setting asks).
    void print();

    // Steps of the print for the progress window: caption and percent; percent -1 hides it.
    std::function<void(const std::string& caption, int percent)> progress;
    // The waits between the steps, in ms (pending window events run meanwhile).
    std::function<void(std::int32_t ms)> wait;

private:
    void build();
    void Print_Me(QPrinter& printer);

    QLabel* Label_event = nullptr;
    QLabel* Label_heat_num = nullptr;
    QLabel* Label_heat_name = nullptr;
    QLabel* Label_start = nullptr;
    QLabel* Label_length = nullptr;
    std::array<QLabel*, kTimedBoxes> Picture_box{};
    std::array<QLabel*, kTimedBoxes> Label_dog_name{};
};

} // namespace veltro
