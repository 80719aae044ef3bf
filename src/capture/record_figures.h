#pragma once
// The figures of a capture as the status bar shows them: how many records
// the document holds, the memory they take, and what the driver had to drop.

#include <cstdint>
#include <string>

#include "record/record_list.h"

namespace vantrel {

struct RecordFigures {
    uint64_t records = 0;
    uint64_t bytes = 0;          // memory the records take
    uint64_t driverDropped = 0;  // records the driver lost to a full ring
};

RecordFigures FiguresOf(const CRecordList& records, uint64_t driverDropped);

// "1,234,567 records, 652 MB", then ", driver dropped N" once N is above 0.
// Memory is in binary units: KB below one MB, GB (one decimal) from 1024 MB.
std::string FiguresText(const RecordFigures& figures);

}  // namespace vantrel
