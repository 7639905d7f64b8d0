#pragma once

#include "support/operator.h"

#include <deque>
#include <string>
#include <vector>

namespace veltro::testing {

// An operator that records everything said to it and answers questions from a script. Installed
// for its lifetime.
class FakeOperator : public Operator {
public:
    FakeOperator() { previous_ = install_operator(this); }
    ~FakeOperator() override { install_operator(previous_); }
    FakeOperator(const FakeOperator&) = delete;
    FakeOperator& operator=(const FakeOperator&) = delete;

    struct Message {
        std::string text;
        MsgIcon icon;
        std::string title;
    };

    std::vector<Message> messages;
    std::vector<std::string> questions;
    int beeps = 0;
    int event_pumps = 0;
    // Answers to questions (yes/ok = true), taken in order; an unscripted question is answered false.
    std::deque<bool> answers;
    std::deque<std::optional<std::string>> inputs;
    // Documents the program asked to show, and whether a viewer takes them.
    std::vector<std::string> documents;
    bool documents_open = true;

    void beep() override { ++beeps; }
    void message(const std::string& text, MsgIcon icon, const std::string& title) override {
        messages.push_back({text, icon, title});
    }
    bool ask_ok_cancel(const std::string& text, const std::string&) override { return answer(text); }
    bool ask_yes_no(const std::string& text, const std::string&) override { return answer(text); }
    std::optional<std::string> input_box(const std::string& prompt, const std::string&,
                                         const std::string&) override {
        questions.push_back(prompt);
        if (inputs.empty())
            return std::nullopt;
        auto v = inputs.front();
        inputs.pop_front();
        return v;
    }
    void process_events() override { ++event_pumps; }
    bool open_document(const std::string& path) override {
        documents.push_back(path);
        return documents_open;
    }

    std::string last_message() const { return messages.empty() ? std::string() : messages.back().text; }

private:
    bool answer(const std::string& text) {
        questions.push_back(text);
        if (answers.empty())
            return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    Operator* previous_ = nullptr;
};

} // namespace veltro::testing
