#pragma once

#include "app/heat_timing.h"

#include <QColor>
#include <array>
#include <cstdint>

class QAbstractButton;
class QMenu;
class QWidget;

namespace veltro {

class Review_controller;

// A toggle that is on: yellow (0x00FFFF).
inline const QColor kToggleOnColour{255, 255, 0};
// A box button whose box has a time in the present mode: light cyan (0xFFFFC0).
inline const QColor kBoxHasTimeColour{192, 255, 255};

// Paints a toggle button yellow when on, the system button face when off.
void Paint_toggle(QAbstractButton* button, bool on);

// Set_Buttons: colours the six box buttons (index 0 = box 1) from the times of the open recording.
void Set_Buttons(const std::array<QAbstractButton*, 6>& buttons, const HeatTiming& timing);

// Connects a box button: pressing sets the current box, releasing clears it, a click assigns.
void Wire_box_button(QAbstractButton* button, std::int16_t box, Review_controller& controller);

// The pop-up menu "Notime" of the No-time button: "Disqualified", "Did Not Finish" and "No Rank" set
// its caption to "DSQ", "DNF" and "No Rnk" (`caption_changed` then repaints the button).
QMenu* Make_Notime_menu(QWidget* parent, HeatTiming& timing, std::function<void()> caption_changed);

// Connects the three toggle buttons: "+ 1/100", "Dead heat" and the No-time button (a left click
// flips its toggle, a right click opens `notime_menu`). Each flip repaints its button; `focus`
// then moves the keyboard focus to the picture.
void Wire_toggle_buttons(QAbstractButton* plus_hundredth, QAbstractButton* dead_heat,
                         QAbstractButton* no_time, QMenu* notime_menu, HeatTiming& timing,
                         std::function<void()> focus);

// Repaints the three toggle buttons from the timing model (after an assignment switched one off).
void Paint_toggles(QAbstractButton* plus_hundredth, QAbstractButton* dead_heat, QAbstractButton* no_time,
                   const HeatTiming& timing);

} // namespace veltro
