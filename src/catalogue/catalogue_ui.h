#pragma once
// What the IOCTL selector and the template editor need from their owner:
// message boxes and a Yes/No question for the user, and the places where
// the selector's choices go (the document in the program, doubles in
// tests). The catalogue sits below the document, so these are its own small
// interfaces; the window layer adapts the document's prompts and flags to
// them. (Stored template rows reach the printing thread through the
// catalogue's own template publisher.)

#include <cstdint>
#include <string_view>

#include "decode/template_snapshot.h"

namespace vantrel {

// Message 61455, shown by the template editor's Delete with no current row.
inline constexpr uint32_t kMsgNoRecordsToDelete = 61455;

class ICatalogueUi {
public:
    virtual ~ICatalogueUi() = default;
    // An OK box with the database engine's error text.
    virtual void ShowEngineError(std::string_view text) = 0;
    // An OK box with a text of the string table.
    virtual void ShowMessage(uint32_t stringId) = 0;
    // A question with Yes and No buttons and the question icon; true for Yes.
    virtual bool AskYesNo(std::string_view question) = 0;
};

// What the IOCTL selector changes outside itself. All calls come on the GUI
// thread. PublishSelection hands over a value that the printing thread and
// the views read; the selector never keeps a reference into it.
class ISelectorHost {
public:
    virtual ~ISelectorHost() = default;
    // The IOCTL filter selection (code -1 for none).
    virtual void PublishSelection(IoctlFilterSelection selection) = 0;
    // The document's "Filter Selected IOCTL" flag.
    virtual void SetIoctlFilter(bool on) = 0;
    virtual bool IoctlFilter() const = 0;
    // The refresh timer fired: recompute the current tab page and, with
    // automatic update on, re-show the results (the main frame's
    // RefreshCurrentView).
    virtual void RequestRefresh() = 0;
};

}  // namespace vantrel
