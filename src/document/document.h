#pragma once
// CVantrelDoc without its windows: the driver link, the IOCTL catalogue, the
// document's flags and the record list, created and released in the order
// the program needs them.

#include <cstdint>

#include "capture/driver_link.h"
#include "record/record_list.h"
#include "catalogue/catalogue.h"
#include "document/document_state.h"
#include "document/prompts.h"

namespace vantrel {

class CVantrelDoc {
public:
    CVantrelDoc() = default;
    // Stores "filter" and "params" (only when document creation read them,
    // so that a start that failed half-way never overwrites the user's
    // values), releases the catalogue and closes the driver.
    ~CVantrelDoc();
    CVantrelDoc(const CVantrelDoc&) = delete;
    CVantrelDoc& operator=(const CVantrelDoc&) = delete;

    // The new-document step: opens the driver through `opener`, sends IOCTL_SETUPFILTERS and
    // IOCTL_PROCSPEED, opens the catalogue (asking for a file when
    // "Vantrel.db" cannot be opened) and reads "filter" and "params". False
    // when the driver cannot be opened or no catalogue is found or chosen:
    // the program then ends.
    bool OnNewDocument(const DriverOpener& opener, IPrompts& prompts);

    CDriverLink& Link() { return m_link; }
    CCatalogue& Catalogue() { return m_catalogue; }
    CDocumentState& State() { return m_state; }
    CRecordList& Records() { return m_records; }
    uint32_t ProcessorSpeed() const { return m_link.ProcessorSpeed(); }

private:
    CDriverLink m_link;
    CCatalogue m_catalogue;
    CDocumentState m_state;
    CRecordList m_records;
    bool m_settingsRead = false;
};

}  // namespace vantrel
