#pragma once

#include "timing/close_finish.h"
#include "timing/published_results.h"
#include "timing/result_ranking.h"

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QMenu;
class QPrinter;

namespace veltro {

class HeatValues;

// The results window "Veltro HDMI Results": event, heat, start time and one row per position with
// rank, box tile, dog name, time, split and the dead-heat circle. The main window fills it; clicks on
// a row ask the main window to show that box's picture (signals), and every click ends by handing the
// keyboard focus back to the main window's play slider (`focus_to_slider`).
class Form_Velt_Results : public QMainWindow {
    Q_OBJECT
public:
    explicit Form_Velt_Results(QWidget* owner = nullptr);
    ~Form_Velt_Results() override;

    // The recording whose results are shown (renaming writes into it) and its path; nullptr when none
    // is open.
    void set_recording(HeatValues* rec, const std::string& path = {}) {
        rec_ = rec;
        recording_path_ = rec ? path : std::string();
    }

    // Display_Result_Array: headings from the recording, rows from the sorted result, each time's
    // distance in lengths (at the seconds-per-length setting as it stands now) and the warnings
    // for boxes that the recording's pictures (`period`) cannot tell apart, or their `estimates` where
    // both have one. Each estimate stands beside its time, greyed: advisory.
    void Display_Result_Array(const HeatValues& rec, const ResultArray& results, std::int32_t box_delay,
                              const PicturePeriod& period, const BoxEstimates& estimates);
    void Clear_Results_Display();
    // The result as clipboard text, put on the clipboard and shown in a message box.
    void Export_to_Clipboard();
    // "Export results...": the result as shown, as CSV or JSON (by the chosen name's extension), in a
    // file the operator chooses; the file is written whole or not at all.
    void export_results();
    // The save dialog of export_results: the suggested path in, the chosen path out ("" = cancelled).
    std::function<std::string(const std::string& suggested)> choose_export_file;
    // Prints the window image on one page (printer dialog with Alt held or when the setting asks).
    void print();
    // Paints the six row tiles with boxes 1..6 (Debug menu).
    void paint_boxes();

    // Steps of the print for the progress window: caption and percent; percent -1 hides it.
    std::function<void(const std::string& caption, int percent)> progress;

    // The row texts as shown.
    ResultRow row(int index) const;
    // The distance shown in row `index`, and whether its time is marked as a close finish.
    QString distance(int index) const;
    bool time_warned(int index) const;
    // The close-finish lines under the table, one per pair ("" when there are none).
    QString close_finish_text() const;
    QString heat_id_text() const;

signals:
    void rank_clicked(std::int16_t position);  // GoTo_rank
    void box_clicked(std::int16_t position);   // GoTo_Box
    void split_clicked(std::int16_t position); // Goto_SplitTime
    void focus_to_slider();
    // "Clear all results" was confirmed: the main window runs Clear_all_Results.
    void clear_all_requested();
    // A rename was written into the recording: the main window reloads and redisplays the results.
    void results_changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct RowControls {
        QLabel* rank = nullptr;
        QLabel* box = nullptr;
        QLabel* name = nullptr;
        QLabel* time = nullptr;
        QLabel* split = nullptr;
        QLabel* dist = nullptr;
        QLabel* estimate = nullptr;
        QWidget* dead_circle = nullptr;
        std::int16_t shown_box = 0;
    };

    void build();
    void Form_Load();
    void rename(QLabel* label, int row);
    bool refuse_read_only();
    void Doprintform(QPrinter& printer);
    void fit_label(QLabel* label, int points, const QString& text);

    HeatValues* rec_ = nullptr;
    std::string recording_path_;
    // The result on show, as it is exported; empty rows before the first display.
    PublishedHeat published_;
    QLabel* Label_event_name = nullptr;
    QLabel* Label_Heat_ID = nullptr;
    QLabel* Label_Heat_name = nullptr;
    QLabel* Label_heat_started = nullptr;
    QLabel* Label_box_delay = nullptr;
    QLabel* label_official = nullptr;
    QLabel* Label_printed = nullptr;
    QLabel* label_close_finish = nullptr;
    QMenu* menu_debug_ = nullptr;
    std::array<RowControls, kTimedBoxes> rows_{};
};

} // namespace veltro
