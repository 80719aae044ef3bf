#pragma once
// The IOCTL selector without its window: the list of IOCTLs seen, the detail
// fields of the selected one, the two template lists, the "Filter Selected
// IOCTL" box, Save Changes and Reload templates. The window shows what this
// object holds and passes the user's actions in; the main frame adds entries
// and clears them.
//
// GUI thread only. The selection the printing thread reads leaves through
// ISelectorHost::PublishSelection as a value; nothing here is shared.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/catalogue_ui.h"
#include "catalogue/ioctl_entries.h"
#include "catalogue/sorted_list.h"
#include "decode/template_snapshot.h"

namespace vantrel {

class CCatalogue;
class CIrpRecord;

// What the selector tells its window.
class ISelectorView {
public:
    virtual ~ISelectorView() = default;
    // Entries were added, cleared or relabelled, or the selected entry changed.
    virtual void EntriesChanged() = 0;
    // The items of the two drop-down lists changed.
    virtual void TemplateListsChanged() = 0;
    // Show the detail fields, the lists' selections and the box.
    virtual void ShowFields() = 0;
    // Start (or restart) the one-shot refresh timer; when it fires, the
    // window calls OnRefreshTimer.
    virtual void StartRefreshTimer(unsigned milliseconds) = 0;
};

struct SelectorFields {
    std::string ioctlName;     // "IOCTL Name:" (the user may edit it)
    std::string deviceObject;  // "Device Object:" the object name after its last backslash
    std::string function;      // "Function:"
    std::string deviceType;    // "Device Type:"
    std::string access;        // "Access:"
    std::string method;        // "Method:"
};

class CIoctlSelectorCore {
public:
    static constexpr unsigned kRefreshDelayMs = 50;
    static constexpr const char* kNone = "None";

    // `catalogue` may be null (no catalogue data). The host and the UI must
    // outlive this object.
    CIoctlSelectorCore(CCatalogue* catalogue, ISelectorHost& host, ICatalogueUi& ui);

    void SetView(ISelectorView* view) { m_view = view; }

    // The window's initialisation: opens both recordsets (a failure shows the
    // engine's text and leaves the selector without catalogue data) and
    // reloads the template lists.
    void Initialise();
    bool HasCatalogueData() const { return m_catalogueReady; }

    // The list.
    bool Contains(uint32_t code, std::string_view objectName) const {
        return m_entries.Contains(code, objectName);
    }
    bool Contains(const CIrpRecord& record) const;
    // Appends an entry labelled from the catalogue; the caller has checked
    // Contains.
    void Add(uint32_t code, std::string objectName);
    void Add(const CIrpRecord& record);
    // Contains, then Add when new: what the main frame does for each
    // device-control record. True when an entry was added.
    bool Offer(uint32_t code, std::string_view objectName);
    // Deletes every entry, empties the six fields, selects "None" in both
    // lists. The published selection is left as it is.
    void Clear();
    const CIoctlEntryList& Entries() const { return m_entries; }
    std::optional<size_t> SelectedEntry() const { return m_selected; }

    // The user selects an entry (nullopt: clicks beside the items). The
    // entry that loses the selection is handled first, then the one that
    // gains it, as the list reports them.
    void SelectEntry(std::optional<size_t> index);

    // The fields and lists.
    const SelectorFields& Fields() const { return m_fields; }
    void SetIoctlNameField(std::string text) { m_fields.ioctlName = std::move(text); }
    const CSortedList& InputList() const { return m_input; }
    const CSortedList& OutputList() const { return m_output; }
    void ChooseInput(std::optional<size_t> index) { m_input.Select(index); }
    void ChooseOutput(std::optional<size_t> index) { m_output.Select(index); }

    // "Filter Selected IOCTL".
    bool FilterBox() const { return m_filterOn; }
    void SetFilterBox(bool on);
    // The refresh timer fired.
    void OnRefreshTimer();

    // "&Save Changes".
    void SaveChanges();
    // Refills both template lists from the catalogue.
    void ReloadTemplates();

    // The IOCTL filter selection as last published.
    const IoctlFilterSelection& Selection() const { return m_selection; }

private:
    CCatalogue* Catalogue() const { return m_catalogueReady ? m_catalogue : nullptr; }
    void ItemChanged(size_t index, bool selectedNow);
    void EntryGainsSelection(size_t index);
    void EntryLosesSelection();
    void EmptyFields();
    void Publish();
    void StartTimer();
    void NotifyEntries();
    void NotifyFields();

    CCatalogue* m_catalogue;
    ISelectorHost& m_host;
    ICatalogueUi& m_ui;
    ISelectorView* m_view = nullptr;
    bool m_catalogueReady = false;

    CIoctlEntryList m_entries;
    std::optional<size_t> m_selected;
    SelectorFields m_fields;
    CSortedList m_input;
    CSortedList m_output;
    bool m_filterOn = false;
    bool m_skipNextChange = false;
    IoctlFilterSelection m_selection;
};

}  // namespace vantrel
