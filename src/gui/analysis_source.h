#pragma once
// What the Statistics and Graph View pages read, handed to them by whoever
// hosts them (the main frame, a test): the record list, the column copy of
// it that both pages share, and the record selection as it is at the moment
// of a refresh. Everything here is used on the GUI thread only.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <utility>

#include "analysis/graph_refresh.h"
#include "analysis/record_columns.h"
#include "analysis/record_selection.h"
#include "record/record_list.h"

namespace vantrel {

struct AnalysisSource {
    const CRecordList* records = nullptr;
    CRecordColumns* columns = nullptr;
    std::function<RecordSelection()> selection;
};

// Runs a dialog and returns its result (QDialog::Accepted or Rejected).
// The default runs it modally; tests fill the dialog and accept it instead.
using DialogRunner = std::function<int(QDialog&)>;
inline int RunModal(QDialog& dialog) {
    return dialog.exec();
}

}  // namespace vantrel
