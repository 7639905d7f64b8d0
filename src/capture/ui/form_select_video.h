#pragma once

#include "capture/capture_component.h"
#include "capture/source_selection.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTreeWidget;

namespace veltro {

// "Select HDMI Video Source": lists the capture sources and their formats and stores the chosen one
// for the next camera start. Each enumeration uses a fresh capture component from `make_component`.
class Form_select_Video : public QWidget {
    Q_OBJECT
public:
    using ComponentFactory = std::function<std::unique_ptr<CaptureComponent>()>;
    explicit Form_select_Video(ComponentFactory make_component, QWidget* parent = nullptr);

    void Do_Enum();
    void Do_Select();
    void command_enum2_click();
    void command_select_done_click();
    void list_view_prop_click(int row);
    void item_copy_to_clipboard_click();
    void item_iterate_click();
    // Choosing "Form" with Alt held shows or hides the "Debug" menu.
    void menu_form_click();

    QTreeWidget* ListView_prop() const { return list_; }
    const std::vector<SourceRow>& rows() const { return rows_; }
    QMenu* debug_menu() const { return menu_debug_; }
    bool row_chosen() const { return row_chosen_; }
    // "Exposure and gain": shown where the chosen source has them.
    QGroupBox* controls_frame() const { return controls_frame_; }

private:
    // Shows the exposure and gain of the row's source, with the values stored for it when it is the
    // saved source.
    void show_controls(const SourceRow& row, bool saved_source);
    // The typed values; a clear message and none when one is not a number in its range.
    std::optional<ControlChoice> typed_controls();
    void debug_show_names();
    void debug_get_vcap();
    void debug_get_intervals();

    ComponentFactory make_component_;
    std::unique_ptr<CaptureComponent> component_;
    std::vector<SourceRow> rows_;
    QTreeWidget* list_;
    QLabel* label_source_;
    QLabel* label_friendly_;
    QLabel* label_property_;
    QLabel* label_property_num_;
    QMenu* menu_form_;
    QMenu* menu_debug_;
    bool row_chosen_ = false;
    QGroupBox* controls_frame_;
    QLabel* label_exposure_;
    QLineEdit* text_exposure_;
    QLabel* label_gain_;
    QLineEdit* text_gain_;
    std::optional<ControlRange> exposure_;
    std::optional<ControlRange> gain_;
};

} // namespace veltro
