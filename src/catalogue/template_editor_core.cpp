#include "catalogue/template_editor_core.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

#include "catalogue/catalogue.h"
#include "decode/template_types.h"

namespace vantrel {

namespace {

std::string FormatInt(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%i", value);
    return text;
}

std::string DeleteQuestion(const std::string& name, const std::string& valueName) {
    std::string text = "Are you sure you want to delete the record:\r\n\r\nTemplate Name:  ";
    text.append(name).append("\r\nValue Name:  ").append(valueName);
    return text;
}

}  // namespace

int32_t OffsetFromText(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{1} << 32;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = std::min(kLimit, value * 10 + (text[i] - '0'));
    }
    if (negative) value = -value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// The one place that maps a type name to its size for the proposal.
int ProposalTypeSize(std::string_view type) {
    return static_cast<int>(TemplateTypeSizeAnyCase(type));
}

CTemplateEditorCore::CTemplateEditorCore(CCatalogue* catalogue, ICatalogueUi& ui)
    : m_catalogue(catalogue), m_ui(ui) {}

std::vector<std::string> CTemplateEditorCore::TypeNames() {
    CSortedList list;
    for (const TemplateTypeInfo& t : kTemplateTypes) list.Insert(std::string(t.name));
    return list.Items();
}

CTemplateSet* CTemplateEditorCore::Set() const {
    return m_catalogueReady ? &m_catalogue->Templates() : nullptr;
}

bool CTemplateEditorCore::HasRows() const {
    const CTemplateSet* set = Set();
    return set && !(set->IsBOF() && set->IsEOF());
}

void CTemplateEditorCore::Initialise() {
    if (m_catalogue && m_catalogue->IsOpen()) {
        std::string error;
        if (m_catalogue->OpenRecordset(m_catalogue->Templates(), &error)) {
            m_catalogueReady = true;
            FillTemplateList();
            if (HasRows()) SelectTemplate();
        } else {
            m_ui.ShowEngineError(error);
        }
    }
    m_lastOffset = 0;
    NotifyFields();
}

void CTemplateEditorCore::FillTemplateList() {
    if (!HasRows() || m_adding) return;
    m_names.Clear();
    for (const std::string& name : m_catalogue->TemplateNames()) {
        if (!m_names.Find(name)) m_names.Insert(name);
    }
    m_names.Select(0);
    if (m_view) m_view->TemplateListChanged();
}

void CTemplateEditorCore::SelectTemplate() {
    if (!m_names.Selection() || !HasRows()) return;
    m_catalogue->SelectTemplate(m_names.SelectedText());
    ShowRow();
}

void CTemplateEditorCore::ChooseTemplate(size_t index) {
    // Another template shown while adding gives up the new row: it would
    // otherwise be stored with the fields of a row it never had.
    DropPendingRow();
    m_names.Select(index);
    SelectTemplate();
}

void CTemplateEditorCore::EditTemplateName(std::string text) {
    m_fields.templateName = std::move(text);
    m_lastOffset = 0;
    m_fields.offset = FormatInt(0);
    NotifyFields();
}

void CTemplateEditorCore::StoreFields(CTemplateSet& set) {
    set.m_Name = m_fields.templateName;
    set.m_Offset = OffsetFromText(m_fields.offset);
    set.m_Type = m_fields.type;
    set.m_ValueName = m_fields.valueName;
}

// Writes the fields back to the current row, or stores the new row while
// adding. A refusal (a text over 255 characters) shows its reason and leaves
// the row as it was.
void CTemplateEditorCore::SaveCurrent() {
    if (m_adding) {
        AddSecondPress();
        return;
    }
    CTemplateSet* set = Set();
    if (!HasRows() || !set->HasCurrent()) return;
    if (!set->Edit()) {
        m_ui.ShowEngineError(set->GetLastError());
        return;
    }
    StoreFields(*set);
    if (!set->Update()) {
        const std::string error = set->GetLastError();
        set->CancelUpdate();
        m_ui.ShowEngineError(error);
        return;
    }
}

void CTemplateEditorCore::Add() {
    if (!Set()) return;
    if (m_adding) {
        AddSecondPress();
    } else {
        AddFirstPress();
    }
}

void CTemplateEditorCore::AddFirstPress() {
    if (!Set()->AddNew()) {
        m_ui.ShowEngineError(Set()->GetLastError());
        return;
    }
    m_adding = true;
    m_fields.valueName.clear();
    m_fields.offset = FormatInt(ProposalTypeSize(m_lastType) + m_lastOffset);
    m_fields.type.clear();
    NotifyFields();
}

void CTemplateEditorCore::AddSecondPress() {
    CTemplateSet& set = *Set();
    StoreFields(set);
    const bool stored = set.Update();
    if (!stored) {
        const std::string error = set.GetLastError();
        set.CancelUpdate();
        m_ui.ShowEngineError(error);
    }
    m_adding = false;
    if (stored) {
        m_lastOffset = OffsetFromText(m_fields.offset);
        m_lastType = m_fields.type;
        if (!m_names.Find(m_fields.templateName)) {
            m_names.Select(m_names.Insert(m_fields.templateName));
            if (m_view) m_view->TemplateListChanged();
        }
    }
    SelectTemplate();
    NotifyFields();
}

void CTemplateEditorCore::DropPendingRow() {
    if (!m_adding) return;
    if (CTemplateSet* set = Set()) set->CancelUpdate();
    m_adding = false;
}

void CTemplateEditorCore::MoveFirst() {
    if (!HasRows()) return;
    SaveCurrent();
    Set()->MoveFirst();
    ShowRow();
}

void CTemplateEditorCore::MoveLast() {
    if (!HasRows()) return;
    SaveCurrent();
    Set()->MoveLast();
    ShowRow();
}

void CTemplateEditorCore::MoveNext() {
    CTemplateSet* set = Set();
    if (!set || set->IsEOF()) return;
    SaveCurrent();
    set->MoveNext();
    if (set->IsEOF()) {
        set->MovePrev();  // stays on the last row, the fields as they are
    } else {
        ShowRow();
    }
}

void CTemplateEditorCore::MovePrevious() {
    CTemplateSet* set = Set();
    if (!set || set->IsBOF()) return;
    SaveCurrent();
    set->MovePrev();
    if (set->IsBOF()) {
        set->MoveNext();
    } else {
        ShowRow();
    }
}

void CTemplateEditorCore::Delete() {
    CTemplateSet* set = Set();
    // A new row in progress is given up first; Delete works on stored rows.
    if (m_adding) {
        DropPendingRow();
        ShowRow();
    }
    if (!set || set->IsEOF() || !set->HasCurrent()) {
        m_ui.ShowMessage(kMsgNoRecordsToDelete);
        return;
    }
    if (!m_ui.AskYesNo(DeleteQuestion(set->m_Name, set->m_ValueName))) return;
    const std::string deletedName = set->m_Name;
    if (!set->Delete()) {
        m_ui.ShowEngineError(set->GetLastError());
        return;
    }
    if (!set->IsEOF()) {
        set->MoveNext();
        if (set->IsEOF()) set->MovePrev();
    }
    AfterDelete(deletedName);
}

void CTemplateEditorCore::AfterDelete(const std::string& deletedName) {
    CTemplateSet& set = *Set();
    if (!set.IsBOF()) {
        ShowRow();
        return;
    }
    // The template has no rows left.
    if (const std::optional<size_t> at = m_names.Find(deletedName)) m_names.Remove(*at);
    if (m_view) m_view->TemplateListChanged();
    if (!m_names.Empty()) {
        set.ClearFilter();
        set.Requery();
        m_names.Select(0);
        SelectTemplate();
    } else {
        m_names.Select(std::nullopt);
        EmptyFields();
        NotifyFields();
    }
}

void CTemplateEditorCore::ShowRow() {
    const CTemplateSet* set = Set();
    if (set && set->HasCurrent()) {
        m_fields.valueName = set->m_ValueName;
        m_fields.offset = FormatInt(set->m_Offset);
        m_fields.templateName = set->m_Name;
        m_fields.type = set->m_Type;
    }
    NotifyFields();
}

void CTemplateEditorCore::EmptyFields() {
    m_fields = TemplateEditorFields{};
}

void CTemplateEditorCore::Ok() {
    SaveCurrent();
}

void CTemplateEditorCore::Cancel() {
    DropPendingRow();
}

void CTemplateEditorCore::NotifyFields() {
    if (m_view) m_view->ShowFields();
}

}  // namespace vantrel
