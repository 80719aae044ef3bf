#pragma once
// The command line's user prompts: messages go to stderr as one line each,
// "vantrel-cli: <text>"; nothing is ever asked.

#include "document/prompts.h"

namespace vantrel::cli {

class CCliPrompts final : public IPrompts {
public:
    void MessageById(uint32_t stringId, BoxIcon icon) override;
    void MessageText(std::string_view text, BoxIcon icon) override;
    // Never asks: as if the user cancelled.
    std::optional<std::string> AskFile(const FileDialogRequest& request) override;
    // Never asks either: the question goes to stderr as one line with the
    // answer, " No", after it.
    bool AskYesNo(std::string_view text, BoxIcon icon) override;
};

// A message text as one line: each line break (CR LF, CR or LF) becomes a
// space, any other control character "\xNN".
std::string OneLine(std::string_view text);

}  // namespace vantrel::cli
