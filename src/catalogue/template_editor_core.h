#pragma once
// The IOCTL Template Editor without its window. It works row by row on the
// catalogue's Templates recordset: a template is chosen from the list of
// names, its rows are browsed in offset order and edited in place (every move
// first writes the fields back to the row it leaves), rows are added with a
// two-step Add that proposes the next offset, and deleted after a question.
//
// States: browsing (template name and value name fields disabled) and adding
// (a new row pending, every field enabled). A new row is stored only by the
// second Add, a move or Ok; Cancel drops it, so no half-filled row is stored.
//
// GUI thread only, like the catalogue.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue_ui.h"
#include "catalogue/sorted_list.h"

namespace vantrel {

class CCatalogue;
class CTemplateSet;

// What the editor tells its window.
class ITemplateEditorView {
public:
    virtual ~ITemplateEditorView() = default;
    // Show the four fields, their enabled state and the list's selection.
    virtual void ShowFields() = 0;
    // The items of the template name list changed.
    virtual void TemplateListChanged() = 0;
};

struct TemplateEditorFields {
    std::string templateName;  // the row's Name
    std::string valueName;     // the row's Value Name
    std::string type;          // the row's Type; "" shows no selection
    std::string offset;        // the row's Offset as decimal text
};

// The offset text as a number: optional blanks and sign, then the leading
// digits; no digits give 0. Values beyond 32 bits are clamped.
int32_t OffsetFromText(std::string_view text);

// The size of a value type for the next offset proposal (case-insensitive;
// 0 for an unknown or empty type).
int ProposalTypeSize(std::string_view type);

class CTemplateEditorCore {
public:
    // `catalogue` may be null (the dialog stays empty). Every stored change
    // reaches the printing thread through the catalogue's template publisher.
    CTemplateEditorCore(CCatalogue* catalogue, ICatalogueUi& ui);

    void SetView(ITemplateEditorView* view) { m_view = view; }

    // The type list's items, sorted.
    static std::vector<std::string> TypeNames();

    // Opens Templates (a failure shows the engine's text and leaves the
    // dialog empty), fills the name list and shows the first template.
    void Initialise();
    bool HasCatalogueData() const { return m_catalogueReady; }

    const TemplateEditorFields& Fields() const { return m_fields; }
    bool Adding() const { return m_adding; }
    // The template name and value name fields are enabled only while adding.
    bool NameFieldsEnabled() const { return m_adding; }
    const CSortedList& TemplateList() const { return m_names; }
    int32_t LastOffset() const { return m_lastOffset; }
    const std::string& LastType() const { return m_lastType; }

    // The user's edits of the fields.
    void SetValueName(std::string text) { m_fields.valueName = std::move(text); }
    void SetOffsetText(std::string text) { m_fields.offset = std::move(text); }
    void SetType(std::string text) { m_fields.type = std::move(text); }
    // The user changed the template name text: the offset proposal starts
    // again at 0.
    void EditTemplateName(std::string text);

    // A template name confirmed in the list: its rows from the first.
    void ChooseTemplate(size_t index);

    void Add();
    void Delete();
    void MoveFirst();
    void MovePrevious();
    void MoveNext();
    void MoveLast();

    // Ok: writes the fields back (or stores the new row); the dialog closes.
    void Ok();
    // Cancel: drops a new row in progress; the dialog closes.
    void Cancel();

private:
    CTemplateSet* Set() const;
    bool HasRows() const;
    void FillTemplateList();
    void SelectTemplate();
    void SaveCurrent();
    void StoreFields(CTemplateSet& set);
    void AddFirstPress();
    void AddSecondPress();
    void DropPendingRow();
    void AfterDelete(const std::string& deletedName);
    void ShowRow();
    void EmptyFields();
    void NotifyFields();

    CCatalogue* m_catalogue;
    ICatalogueUi& m_ui;
    ITemplateEditorView* m_view = nullptr;
    bool m_catalogueReady = false;

    TemplateEditorFields m_fields;
    CSortedList m_names;
    bool m_adding = false;
    int32_t m_lastOffset = 0;
    std::string m_lastType;
};

}  // namespace vantrel
