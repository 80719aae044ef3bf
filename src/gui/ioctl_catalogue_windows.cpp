#include "gui/ioctl_catalogue_windows.h"

#include "document/string_table.h"

namespace vantrel {

static_assert(kMsgNoRecordsToDelete == IDS_NO_RECORDS_TO_DELETE);

CIoctlCatalogueWindows::CIoctlCatalogueWindows(QWidget* owner, CCatalogue* catalogue,
                                               ISelectorHost& host, IPrompts& prompts)
    : m_owner(owner),
      m_catalogue(catalogue),
      m_host(host),
      m_prompts(prompts),
      m_ui(prompts),
      m_runEditor([](CTemplateEditorDialog& dialog) { dialog.exec(); }) {}

CIoctlCatalogueWindows::~CIoctlCatalogueWindows() {
    delete m_window.data();
}

CIoctlSelectorWindow& CIoctlCatalogueWindows::EnsureSelector() {
    if (!m_window) {
        if (!m_core) {
            m_core = std::make_unique<CIoctlSelectorCore>(m_catalogue, m_host, m_ui);
            m_core->Initialise();
        }
        m_window = new CIoctlSelectorWindow(*m_core, m_owner);
    }
    return *m_window;
}

void CIoctlCatalogueWindows::OnDeviceControl(uint32_t code, std::string_view objectName) {
    EnsureSelector();
    m_core->Offer(code, objectName);
}

void CIoctlCatalogueWindows::ClearEntries() {
    if (m_core) m_core->Clear();
}

void CIoctlCatalogueWindows::ToggleSelector() {
    CIoctlSelectorWindow& window = EnsureSelector();
    if (window.isVisible()) {
        window.hide();
    } else {
        window.show();
        window.raise();
    }
}

bool CIoctlCatalogueWindows::SelectorVisible() const {
    return m_window && m_window->isVisible();
}

void CIoctlCatalogueWindows::OpenTemplateEditor() {
    if (m_host.IoctlFilter()) {
        m_prompts.MessageById(IDS_UNCHECK_IOCTL_FILTER, BoxIcon::None);
        return;
    }
    {
        CTemplateEditorCore core(m_catalogue, m_ui);
        CTemplateEditorDialog dialog(core, m_owner);
        m_runEditor(dialog);
    }
    if (m_core) m_core->ReloadTemplates();
}

}  // namespace vantrel
