#pragma once
// Prompts for tests: every message is recorded, file dialogs and questions
// are answered from a script, nothing ever waits.

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document/prompts.h"

namespace vantrel::testing {

class RecordingPrompts final : public IPrompts {
public:
    // (string id or 0 for a text, icon), in order.
    std::vector<std::pair<uint32_t, BoxIcon>> messages;
    std::vector<std::string> texts;  // the texts of MessageText
    std::vector<FileDialogRequest> fileRequests;
    // Answers for the file dialogs, in order; none left: cancelled.
    std::deque<std::optional<std::string>> fileAnswers;
    // The Yes/No questions asked, with their icons, and the answers to give
    // in order; none left: No.
    std::vector<std::pair<std::string, BoxIcon>> questions;
    std::deque<bool> yesNoAnswers;

    void MessageById(uint32_t id, BoxIcon icon) override { messages.emplace_back(id, icon); }
    void MessageText(std::string_view text, BoxIcon icon) override {
        messages.emplace_back(0, icon);
        texts.emplace_back(text);
    }
    std::optional<std::string> AskFile(const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        if (fileAnswers.empty()) return std::nullopt;
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
    bool AskYesNo(std::string_view text, BoxIcon icon) override {
        questions.emplace_back(std::string(text), icon);
        if (yesNoAnswers.empty()) return false;
        const bool yes = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return yes;
    }
    std::vector<uint32_t> Ids() const {
        std::vector<uint32_t> ids;
        for (const auto& m : messages) ids.push_back(m.first);
        return ids;
    }
};

}  // namespace vantrel::testing
