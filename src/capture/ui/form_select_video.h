#pragma once

#include "capture/capture_component.h"
#include "capture/source_selection.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
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

private:
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
};

} // namespace veltro
