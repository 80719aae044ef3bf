#pragma once
// The Graph View's plot: every taken record is a point at (the time it
// arrived, in percent of the filter's active period; its latency in ms),
// blue when it completed with status 0 and red otherwise, tagged with its
// position in the full record list.

#include <cstdint>

#include "analysis/graph_model.h"
#include "analysis/record_columns.h"
#include "analysis/record_selection.h"
#include "record/record_list.h"

namespace vantrel {

inline constexpr char kGraphViewTitle[] = "IRP Latencies vs. Filter Duration";
inline constexpr char kGraphViewXTitle[] = "Filter Duration (%)";
inline constexpr char kGraphViewYTitle[] = "IRP Latency (ms)";
inline constexpr uint32_t kGraphViewOptions = 1;

// The texts and option flags the Graph View gives its graph.
GraphTexts GraphViewTexts();

// When the filter was active: the start tick, and the stop tick or 0 while
// it still is.
struct FilterTicks {
    uint32_t start = 0;
    uint32_t stop = 0;
};

// X of a record taken at `tick`: the two 32-bit tick differences (modulo
// 2^32, so the tick count may wrap) converted to single precision, divided,
// times 100. The end is the stop tick, or `now` while the filter is active.
float FilterDurationPercent(uint32_t tick, FilterTicks ticks, uint32_t now);

// Clears the model and feeds it the taken records (the model's sample count
// then counts every taken record, plotted or not). The columns must be up to
// date; the second form brings them up to date first.
void RefreshGraph(const CRecordColumns& columns, const RecordSelection& selection,
                  FilterTicks ticks, uint32_t now, CGraphModel& model);
void RefreshGraph(CRecordColumns& columns, const CRecordList& records,
                  const RecordSelection& selection, FilterTicks ticks, uint32_t now,
                  CGraphModel& model);

}  // namespace vantrel
