#pragma once
// The main frame's part in the IOCTL catalogue windows: the IOCTL selector,
// created hidden on first need and then only shown and hidden, and the
// modal template editor. The main frame owns one of these and calls it for
//   - every device-control record (captured, queued to the GUI thread as a
//     code and object name; and each one loaded from a test file): OnDeviceControl;
//   - a capture reset, a test file load (before its records are offered
//     again) and the document's end: ClearEntries;
//   - command 32792: ToggleSelector, and SelectorVisible for its check mark;
//   - command 32795: OpenTemplateEditor.
// GUI thread only.

#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "catalogue/catalogue_ui.h"
#include "catalogue/ioctl_selector_core.h"
#include "document/prompts.h"
#include "gui/catalogue_prompts.h"
#include "gui/ioctl_selector_window.h"
#include "gui/template_editor_dialog.h"

class QWidget;

namespace vantrel {

class CCatalogue;

// Runs the template editor until it closes; tests replace it to drive the
// dialog without a modal loop.
using TemplateEditorRunner = std::function<void(CTemplateEditorDialog&)>;

class CIoctlCatalogueWindows {
public:
    // `catalogue` may be null (no catalogue data); `host` is the document's
    // side of the selector (selection, IOCTL filter flag, refresh).
    // Everything given must outlive this object.
    CIoctlCatalogueWindows(QWidget* owner, CCatalogue* catalogue, ISelectorHost& host,
                           IPrompts& prompts);
    ~CIoctlCatalogueWindows();
    CIoctlCatalogueWindows(const CIoctlCatalogueWindows&) = delete;
    CIoctlCatalogueWindows& operator=(const CIoctlCatalogueWindows&) = delete;

    void SetEditorRunner(TemplateEditorRunner runner) { m_runEditor = std::move(runner); }

    // A device-control record: the selector is created (hidden) if need be
    // and lists the IOCTL if it does not yet.
    void OnDeviceControl(uint32_t code, std::string_view objectName);
    // Drops every entry (when the selector exists).
    void ClearEntries();

    // 32792: creates the selector on first use, then hides it if visible,
    // shows it otherwise.
    void ToggleSelector();
    bool SelectorVisible() const;

    // 32795: refused with message 61463 while "Filter Selected IOCTL" is on;
    // otherwise the editor, and afterwards the selector reloads its lists.
    void OpenTemplateEditor();

    // The selector, or null before its first need.
    CIoctlSelectorWindow* Selector() const { return m_window.data(); }
    CIoctlSelectorCore* SelectorCore() const { return m_core.get(); }

private:
    CIoctlSelectorWindow& EnsureSelector();

    QWidget* m_owner;
    CCatalogue* m_catalogue;
    ISelectorHost& m_host;
    IPrompts& m_prompts;
    CCatalogueUiFromPrompts m_ui;
    std::unique_ptr<CIoctlSelectorCore> m_core;
    QPointer<CIoctlSelectorWindow> m_window;
    TemplateEditorRunner m_runEditor;
};

}  // namespace vantrel
