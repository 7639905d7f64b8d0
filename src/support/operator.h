#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veltro {

enum class MsgIcon { None, Information, Exclamation, Critical, Question };

// The person at the finish line. Core never opens a window: whatever it has to say or ask goes
// through here. The program installs a Qt implementation; tests install a scripted fake.
class Operator {
public:
    virtual ~Operator() = default;

    virtual void beep() = 0;
    virtual void message(const std::string& text, MsgIcon icon = MsgIcon::Information,
                         const std::string& title = {}) = 0;
    // True for OK / Yes.
    virtual bool ask_ok_cancel(const std::string& text, const std::string& title = {}) = 0;
    virtual bool ask_yes_no(const std::string& text, const std::string& title = {}) = 0;
    // std::nullopt when the operator cancels.
    virtual std::optional<std::string> input_box(const std::string& prompt, const std::string& title = {},
                                                 const std::string& default_text = {}) = 0;
    // Lets pending window events run (long operations call it between steps).
    virtual void process_events() = 0;
    // Shows a document (a file path) in the desktop's own viewer for its type; false when it could
    // not be handed to one. Without a desktop nothing is opened.
    virtual bool open_document(const std::string& path);
};

// The process-wide operator. Until one is installed, messages go to stderr and questions are
// answered "no" / cancelled, which suits command-line tools.
Operator& the_operator();
// Installs op (not owned; nullptr restores the stderr default) and returns the previous one.
Operator* install_operator(Operator* op);

// Keeps what core says to itself for its lifetime, during which it is the installed operator:
// messages are collected, questions answered "no" / cancelled. For command-line tools and fuzzing.
class QuietOperator final : public Operator {
public:
    QuietOperator() { previous_ = install_operator(this); }
    ~QuietOperator() override { install_operator(previous_); }
    QuietOperator(const QuietOperator&) = delete;
    QuietOperator& operator=(const QuietOperator&) = delete;

    std::vector<std::string> messages;

    void beep() override {}
    void message(const std::string& text, MsgIcon, const std::string&) override { messages.push_back(text); }
    bool ask_ok_cancel(const std::string&, const std::string&) override { return false; }
    bool ask_yes_no(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> input_box(const std::string&, const std::string&,
                                         const std::string&) override {
        return std::nullopt;
    }
    void process_events() override {}

private:
    Operator* previous_ = nullptr;
};

} // namespace veltro
