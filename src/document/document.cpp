#include "document/document.h"

#include "document/settings.h"

namespace vantrel {

CVantrelDoc::~CVantrelDoc() {
    if (m_settingsRead) {
        DocumentSettings values;
        values.ShowAllDevices = m_state.ShowAllDevices() ? 1 : 0;
        values.OutputFlags = m_state.OutputFlags();
        WriteDocumentSettings(values);
    }
    m_catalogue.Close();
    m_link.Close();
}

bool CVantrelDoc::OnNewDocument(const DriverOpener& opener, IPrompts& prompts) {
    m_link.SetCatalogueStep(
        [this](IPrompts& p) { return OpenCatalogueForDocument(p, m_catalogue); });
    if (!m_link.CreateDocumentSteps(opener, prompts)) {
        m_catalogue.Close();
        return false;
    }
    m_state.SetShowAllDevices(m_link.ShowAllDevices() != 0);
    m_state.SetOutputFlags(m_link.OutputFlags());
    m_settingsRead = true;
    return true;
}

}  // namespace vantrel
