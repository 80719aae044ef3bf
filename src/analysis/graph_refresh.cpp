#include "analysis/graph_refresh.h"

namespace vantrel {

GraphTexts GraphViewTexts() {
    return GraphTexts{kGraphViewTitle, kGraphViewXTitle, kGraphViewYTitle};
}

float FilterDurationPercent(uint32_t tick, FilterTicks ticks, uint32_t now) {
    const uint32_t end = ticks.stop != 0 ? ticks.stop : now;
    return static_cast<float>(tick - ticks.start) / static_cast<float>(end - ticks.start) * 100.0f;
}

void RefreshGraph(const CRecordColumns& columns, const RecordSelection& selection,
                  FilterTicks ticks, uint32_t now, CGraphModel& model) {
    model.Clear();
    const CRecordColumns::Selection s = columns.Compile(selection);
    if (!s.any) return;
    const size_t n = columns.Size();
    const float* latency = columns.Latency();
    const uint32_t* tick = columns.TickCount();
    const uint8_t* succeeded = columns.Succeeded();
    CGraphModel::Feed feed(model);
    feed.Reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (!columns.Takes(s, i)) continue;
        feed.Add(FilterDurationPercent(tick[i], ticks, now), latency[i],
                 succeeded[i] ? kGraphPointBlue : kGraphPointRed, static_cast<int32_t>(i));
    }
}

void RefreshGraph(CRecordColumns& columns, const CRecordList& records,
                  const RecordSelection& selection, FilterTicks ticks, uint32_t now,
                  CGraphModel& model) {
    columns.Update(records);
    RefreshGraph(columns, selection, ticks, now, model);
}

}  // namespace vantrel
