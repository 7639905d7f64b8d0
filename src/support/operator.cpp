#include "support/operator.h"

#include <iostream>

namespace veltro {
namespace {

class ConsoleOperator final : public Operator {
public:
    void beep() override {}
    void message(const std::string& text, MsgIcon, const std::string& title) override {
        std::cerr << (title.empty() ? "" : title + ": ") << text << '\n';
    }
    bool ask_ok_cancel(const std::string& text, const std::string& title) override {
        message(text + " (cancelled)", MsgIcon::Question, title);
        return false;
    }
    bool ask_yes_no(const std::string& text, const std::string& title) override {
        message(text + " (no)", MsgIcon::Question, title);
        return false;
    }
    std::optional<std::string> input_box(const std::string&, const std::string&,
                                         const std::string&) override {
        return std::nullopt;
    }
    void process_events() override {}
};

ConsoleOperator console;
Operator* current = &console;

} // namespace

bool Operator::open_document(const std::string&) {
    return false;
}

Operator& the_operator() {
    return *current;
}

Operator* install_operator(Operator* op) {
    Operator* previous = current == &console ? nullptr : current;
    current = op ? op : &console;
    return previous;
}

} // namespace veltro
