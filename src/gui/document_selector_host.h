#pragma once
// The IOCTL selector's host in the desktop program: its choices go to the
// document (the printing thread and the views read them from there), and
// its refresh timer refreshes the current view through the document.

#include "catalogue/catalogue_ui.h"
#include "document/document.h"

namespace vantrel {

class CDocumentSelectorHost final : public ISelectorHost {
public:
    explicit CDocumentSelectorHost(CVantrelDoc& document) : m_document(document) {}

    void PublishSelection(IoctlFilterSelection selection) override {
        m_document.PublishIoctlSelection(std::move(selection));
    }
    void SetIoctlFilter(bool on) override { m_document.SetIoctlFilter(on); }
    bool IoctlFilter() const override { return m_document.State().IoctlFilter(); }
    void RequestRefresh() override { m_document.RefreshCurrentView(); }

private:
    CVantrelDoc& m_document;
};

}  // namespace vantrel
