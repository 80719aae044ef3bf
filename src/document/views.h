#pragma once
// What the document tells its windows. The main frame implements it for
// the desktop program; the CLI and tests implement what they need. Every
// member has an empty default.
//
// Thread rules: the members in the first group are called on the thread
// that called the document's operation (the GUI thread in the desktop
// program). OnIoctlSeen and OnMaxYGrown come from the capture and printing
// threads: they must return at once and never wait for the GUI thread (post
// the work instead). No document lock is held during any call.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

class IDocumentView {
public:
    virtual ~IDocumentView() = default;

    // The current tab page brings itself up to date; with Auto-Update on the
    // frame also re-prints all records (the document's ShowAllRecords).
    virtual void RefreshCurrentView() {}
    // The main window's title.
    virtual void OnTitleChanged(const std::string& title) {}
    // IRP masks of device list rows changed: repaint the list.
    virtual void OnDeviceRowsChanged() {}
    // The IRP Monitor page's list shows exactly the entries whose bit is set.
    virtual void ShowIrpMask(uint32_t mask) {}
    // The record list was emptied or replaced: the IOCTL selector drops its
    // entries (a load offers the loaded device controls right after).
    virtual void OnRecordsCleared() {}
    // The graph's plot is cleared and its axes set to 0..maxX and 0..maxY.
    virtual void OnGraphReset(int32_t maxX, int32_t maxY) {}

    // A device-control IOCTL on an object (from a capture or a load), for
    // the IOCTL selector's entries; `generation` is the record list's
    // generation it belongs to (compare with CVantrelDoc::RecordGeneration
    // before using it). Any thread.
    virtual void OnIoctlSeen(uint32_t code, std::string_view objectName, uint64_t generation) {}
    // The graph's default maximum Y grew while printing. Any thread.
    virtual void OnMaxYGrown(int32_t maxY) {}
};

}  // namespace vantrel
