#pragma once

#include "support/operator.h"

namespace veltro {

// The operator as the program meets them: Qt message boxes over the active window, the desktop's
// beep, an input dialog, the event loop, and the desktop's viewer for a document. An OK/Cancel
// question has Cancel as its default button.
class QtOperator final : public Operator {
public:
    void beep() override;
    void message(const std::string& text, MsgIcon icon, const std::string& title) override;
    bool ask_ok_cancel(const std::string& text, const std::string& title) override;
    bool ask_yes_no(const std::string& text, const std::string& title) override;
    std::optional<std::string> input_box(const std::string& prompt, const std::string& title,
                                         const std::string& default_text) override;
    void process_events() override;
    bool open_document(const std::string& path) override;
};

} // namespace veltro
