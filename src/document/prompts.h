#pragma once
// The user prompts seam: message boxes and file dialogs. The GUI shows real
// dialogs; the CLI writes to stderr and never asks; tests script the answers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

enum class BoxIcon { None, Error, Warning, Information, Question };

struct FileDialogRequest {
    bool save = false;
    std::string filter;            // "Name (*.ext)|*.ext||" form
    std::string defaultExtension;  // ".ext"
    std::string initialPath;       // folder or full path; may be empty
};

class IPrompts {
public:
    virtual ~IPrompts() = default;
    // An OK box showing a string-table text.
    virtual void MessageById(uint32_t stringId, BoxIcon icon) = 0;
    // An OK box showing any text (the database engine's error text, say).
    virtual void MessageText(std::string_view text, BoxIcon icon) = 0;
    // A file dialog; nullopt when the user cancels.
    virtual std::optional<std::string> AskFile(const FileDialogRequest& request) = 0;
    // A box with Yes and No buttons; true only for Yes. Prompts that never
    // ask (the command line) answer No.
    virtual bool AskYesNo(std::string_view text, BoxIcon icon) { return false; }
};

}  // namespace vantrel
