#pragma once
// The catalogue windows' messages and question through the program's
// prompts: the engine's error text and string-table messages in OK boxes, the
// delete question with Yes and No and the question icon.

#include "catalogue/catalogue_ui.h"
#include "document/prompts.h"

namespace vantrel {

class CCatalogueUiFromPrompts final : public ICatalogueUi {
public:
    explicit CCatalogueUiFromPrompts(IPrompts& prompts) : m_prompts(prompts) {}
    void ShowEngineError(std::string_view text) override {
        m_prompts.MessageText(text, BoxIcon::Error);
    }
    void ShowMessage(uint32_t stringId) override { m_prompts.MessageById(stringId, BoxIcon::None); }
    bool AskYesNo(std::string_view question) override {
        return m_prompts.AskYesNo(question, BoxIcon::Question);
    }

private:
    IPrompts& m_prompts;
};

}  // namespace vantrel
