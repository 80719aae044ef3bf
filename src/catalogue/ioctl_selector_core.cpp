#include "catalogue/ioctl_selector_core.h"

#include "catalogue/catalogue.h"
#include "catalogue/ioctl_code.h"
#include "catalogue/ioctl_selector.h"
#include "record/irp_record.h"

namespace vantrel {

namespace {

std::string_view LastComponent(std::string_view objectName) {
    const size_t slash = objectName.rfind('\\');
    return slash == std::string_view::npos ? objectName : objectName.substr(slash + 1);
}

// Selects `text` in a list, "None" when the list does not hold it. Returns
// the text when the list holds it, else "".
std::string SelectOrNone(CSortedList& list, const std::string& text) {
    if (list.SelectText(text)) return text;
    list.SelectText(CIoctlSelectorCore::kNone);
    return {};
}

}  // namespace

CIoctlSelectorCore::CIoctlSelectorCore(CCatalogue* catalogue, ISelectorHost& host, ICatalogueUi& ui)
    : m_catalogue(catalogue), m_host(host), m_ui(ui) {}

void CIoctlSelectorCore::Initialise() {
    if (!m_catalogue || !m_catalogue->IsOpen()) return;
    std::string error;
    if (!m_catalogue->OpenRecordset(m_catalogue->Ioctls(), &error) ||
        !m_catalogue->OpenRecordset(m_catalogue->Templates(), &error)) {
        m_ui.ShowEngineError(error);
        return;
    }
    m_catalogueReady = true;
    ReloadTemplates();
}

bool CIoctlSelectorCore::Contains(const CIrpRecord& record) const {
    return Contains(record.GetIoControlCode(), record.ObjectNameView());
}

void CIoctlSelectorCore::Add(uint32_t code, std::string objectName) {
    std::string label = IoctlEntryLabel(Catalogue(), code, objectName);
    m_entries.Add(code, std::move(objectName), std::move(label));
    NotifyEntries();
}

void CIoctlSelectorCore::Add(const CIrpRecord& record) {
    Add(record.GetIoControlCode(), record.GetObjectName());
}

bool CIoctlSelectorCore::Offer(uint32_t code, std::string_view objectName) {
    if (Contains(code, objectName)) return false;
    Add(code, std::string(objectName));
    return true;
}

void CIoctlSelectorCore::Clear() {
    m_entries.Clear();
    m_selected.reset();
    EmptyFields();
    m_input.SelectText(kNone);
    m_output.SelectText(kNone);
    NotifyEntries();
    NotifyFields();
}

void CIoctlSelectorCore::SelectEntry(std::optional<size_t> index) {
    if (index && *index >= m_entries.Size()) index.reset();
    if (index == m_selected) return;
    const std::optional<size_t> old = m_selected;
    m_selected = index;
    if (old) ItemChanged(*old, false);
    if (index) ItemChanged(*index, true);
}

// The list's item-changed notification: a change of selection, or of the
// item's text (Save Changes), which the skip flag lets pass unhandled.
void CIoctlSelectorCore::ItemChanged(size_t index, bool selectedNow) {
    if (m_skipNextChange) {
        m_skipNextChange = false;
        return;
    }
    if (selectedNow) {
        EntryGainsSelection(index);
    } else {
        EntryLosesSelection();
    }
    NotifyFields();
    if (m_filterOn) StartTimer();
}

void CIoctlSelectorCore::EntryGainsSelection(size_t index) {
    const IoctlEntry& entry = m_entries.At(index);
    std::string input, output;
    CCatalogue* catalogue = Catalogue();
    if (catalogue && catalogue->FindIoctl(entry.code, entry.objectName)) {
        input = SelectOrNone(m_input, catalogue->Ioctls().m_InputBuffer);
        output = SelectOrNone(m_output, catalogue->Ioctls().m_OutputBuffer);
    } else {
        m_input.SelectText(kNone);
        m_output.SelectText(kNone);
    }
    m_fields.ioctlName = entry.label;
    m_fields.deviceObject = std::string(LastComponent(entry.objectName));
    const IoctlCodeParts parts = SplitIoctlCode(entry.code);
    m_fields.function = IoctlFunctionText(parts.function);
    m_fields.access = IoctlAccessText(parts.access);
    m_fields.method = IoctlMethodText(parts.method);
    m_fields.deviceType = IoctlDeviceTypeText(parts.deviceType);
    if (m_filterOn) {
        m_selection = {StoredIoctlCode(entry.code), entry.objectName, std::move(input),
                       std::move(output)};
        Publish();
    }
}

void CIoctlSelectorCore::EntryLosesSelection() {
    m_selection.code = -1;
    m_selection.inputTemplate.clear();
    m_selection.outputTemplate.clear();
    Publish();
    EmptyFields();
    m_input.SelectText(kNone);
    m_output.SelectText(kNone);
}

void CIoctlSelectorCore::SetFilterBox(bool on) {
    m_filterOn = on;
    m_host.SetIoctlFilter(on);
    NotifyFields();
    if (on) {
        // With nothing selected every device control passes; the views learn
        // of it at their next refresh.
        if (!m_selected) return;
        const IoctlEntry& entry = m_entries.At(*m_selected);
        m_selection = {StoredIoctlCode(entry.code), entry.objectName, m_input.SelectedText(),
                       m_output.SelectedText()};
    } else {
        m_selection.code = -1;
        m_selection.inputTemplate.clear();
        m_selection.outputTemplate.clear();
    }
    Publish();
    StartTimer();
}

void CIoctlSelectorCore::OnRefreshTimer() {
    m_host.RequestRefresh();
}

void CIoctlSelectorCore::SaveChanges() {
    if (!m_selected || !m_input.Selection() || !m_output.Selection()) return;
    CCatalogue* catalogue = Catalogue();
    if (!catalogue) return;
    const size_t index = *m_selected;
    const IoctlEntry& entry = m_entries.At(index);
    std::string error;
    if (!catalogue->SaveIoctl(entry.code, entry.objectName, m_fields.ioctlName,
                              m_input.SelectedText(), m_output.SelectedText(), &error)) {
        m_ui.ShowEngineError(error);
        return;
    }
    // The new text is an item change of the selected entry; it must not read
    // the catalogue again or restart the refresh.
    m_skipNextChange = true;
    m_entries.SetLabel(index, m_fields.ioctlName);
    NotifyEntries();
    ItemChanged(index, true);
}

void CIoctlSelectorCore::ReloadTemplates() {
    m_input.Clear();
    m_output.Clear();
    m_input.Insert(kNone);
    m_output.Insert(kNone);
    CCatalogue* catalogue = Catalogue();
    // The Templates recordset as it was last filtered (by the template
    // editor): no rows there leaves "None" alone, with nothing selected.
    if (!catalogue || (catalogue->Templates().IsBOF() && catalogue->Templates().IsEOF())) {
        if (m_view) m_view->TemplateListsChanged();
        NotifyFields();
        return;
    }
    for (const std::string& name : catalogue->TemplateNames()) {
        if (m_input.Find(name)) continue;
        m_input.Insert(name);
        m_output.Insert(name);
    }
    m_input.SelectText(kNone);
    m_output.SelectText(kNone);
    if (m_view) m_view->TemplateListsChanged();
    if (m_selected) {
        const size_t old = *m_selected;
        m_selected.reset();
        NotifyEntries();
        ItemChanged(old, false);
    }
    NotifyFields();
}

void CIoctlSelectorCore::EmptyFields() {
    m_fields = SelectorFields{};
}

void CIoctlSelectorCore::Publish() {
    m_host.PublishSelection(m_selection);
}

void CIoctlSelectorCore::StartTimer() {
    if (m_view) m_view->StartRefreshTimer(kRefreshDelayMs);
}

void CIoctlSelectorCore::NotifyEntries() {
    if (m_view) m_view->EntriesChanged();
}

void CIoctlSelectorCore::NotifyFields() {
    if (m_view) m_view->ShowFields();
}

}  // namespace vantrel
