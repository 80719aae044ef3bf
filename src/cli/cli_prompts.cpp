#include "cli/cli_prompts.h"

#include <cstdio>

#include "cli/cli.h"
#include "document/string_table.h"

namespace vantrel::cli {

std::string OneLine(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            line.push_back(' ');
        } else {
            line.push_back(c);
        }
    }
    return EscapeControls(line);
}

void CCliPrompts::MessageById(uint32_t stringId, BoxIcon icon) {
    MessageText(LoadString(stringId), icon);
}

void CCliPrompts::MessageText(std::string_view text, BoxIcon) {
    const std::string line = "vantrel-cli: " + OneLine(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

bool CCliPrompts::AskYesNo(std::string_view text, BoxIcon icon) {
    MessageText(std::string(text) + " No", icon);
    return false;
}

std::optional<std::string> CCliPrompts::AskFile(const FileDialogRequest&) {
    return std::nullopt;
}

}  // namespace vantrel::cli
