#include "analysis/statistics.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "decode/name_tables.h"

namespace vantrel {
namespace {

constexpr uint8_t kNoRow = 0xFF;

// Floats as unsigned keys in the same order (negative values below positive
// ones, NaNs at the ends), so that a latency read from a damaged file can
// never break the ordering that the selection below relies on.
uint32_t OrderKey(float v) {
    const uint32_t bits = std::bit_cast<uint32_t>(v);
    return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
}
float FromOrderKey(uint32_t k) {
    return std::bit_cast<float>(k & 0x80000000u ? k & 0x7FFFFFFFu : ~k);
}

// 1-based nearest rank ceil(p/100 x n) for p in whole percent.
size_t NearestRank(size_t n, size_t percent) {
    return (n * percent + 99) / 100;
}

std::string Format(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

}  // namespace

StatisticsTable CStatisticsCalculator::Compute(const CRecordColumns& columns,
                                               const RecordSelection& selection, bool extended) {
    StatisticsTable table;
    const CRecordColumns::Selection s = columns.Compile(selection);
    if (!s.any) return table;

    const size_t n = columns.Size();
    const uint8_t* major = columns.Major();
    const uint8_t* succeeded = columns.Succeeded();
    const float* latency = columns.Latency();
    if (extended) m_rowOf.resize(n);
    bool anyTaken = false;
    for (size_t i = 0; i < n; ++i) {
        const bool taken = columns.Takes(s, i);
        anyTaken |= taken;
        const uint8_t row = taken && major[i] < kStatisticsRows ? major[i] : kNoRow;
        if (extended) m_rowOf[i] = row;
        if (row == kNoRow) continue;
        StatisticsRow& r = table.rows[row];
        r.samples += 1;
        r.total += latency[i];
        if (succeeded[i]) r.successes += 1.0f;
    }
    // In the selected-device case a list without a single taken record stays
    // empty; every device shown lists all rows, even with no records.
    table.listed = s.allDevices || anyTaken;
    if (extended) Percentiles(columns, table);
    return table;
}

void CStatisticsCalculator::Percentiles(const CRecordColumns& columns, StatisticsTable& table) {
    std::array<size_t, kStatisticsRows + 1> start{};
    for (size_t row = 0; row < kStatisticsRows; ++row)
        start[row + 1] = start[row] + static_cast<size_t>(table.rows[row].samples);
    m_keys.resize(start[kStatisticsRows]);
    std::array<size_t, kStatisticsRows> next{};
    std::copy(start.begin(), start.end() - 1, next.begin());
    const float* latency = columns.Latency();
    for (size_t i = 0; i < m_rowOf.size(); ++i) {
        const uint8_t row = m_rowOf[i];
        if (row != kNoRow) m_keys[next[row]++] = OrderKey(latency[i]);
    }
    for (size_t row = 0; row < kStatisticsRows; ++row) {
        const size_t count = start[row + 1] - start[row];
        if (count == 0) continue;
        uint32_t* first = m_keys.data() + start[row];
        uint32_t* last = first + count;
        StatisticsRow& r = table.rows[row];
        // Ranks in increasing order, each selection inside what is left above
        // the previous one.
        uint32_t* median = first + (NearestRank(count, 50) - 1);
        uint32_t* p99 = first + (NearestRank(count, 99) - 1);
        std::nth_element(first, median, last);
        r.median = FromOrderKey(*median);
        r.minimum = FromOrderKey(*std::min_element(first, median + 1));
        if (p99 > median) std::nth_element(median + 1, p99, last);
        r.p99 = FromOrderKey(*p99);
        r.maximum = FromOrderKey(*std::max_element(p99, last));
    }
}

StatisticsTable ComputeStatistics(const CRecordList& records, const RecordSelection& selection,
                                  bool extended) {
    CRecordColumns columns;
    columns.Update(records);
    CStatisticsCalculator calculator;
    return calculator.Compute(columns, selection, extended);
}

std::string_view StatisticsRowLabel(size_t row) {
    return row < kStatisticsRows ? MajorFunctionName(static_cast<uint32_t>(row))
                                 : std::string_view();
}

std::array<std::string, 5> StatisticsCells(size_t row, const StatisticsRow& f) {
    std::array<std::string, 5> cells;
    cells[0] = std::string(StatisticsRowLabel(row));
    cells[1] = std::to_string(f.samples);
    if (f.samples != 0) {
        const float count = static_cast<float>(f.samples);
        cells[2] = Format("%.3f", f.total / count);
        cells[3] = Format("%.3f", f.total);
        cells[4] = Format("%.2f %%", f.successes / count * 100.0);
    }
    return cells;
}

std::array<std::string, 4> StatisticsExtendedCells(const StatisticsRow& f) {
    std::array<std::string, 4> cells;
    if (f.samples != 0) {
        cells[0] = Format("%.3f", f.minimum);
        cells[1] = Format("%.3f", f.median);
        cells[2] = Format("%.3f", f.p99);
        cells[3] = Format("%.3f", f.maximum);
    }
    return cells;
}

}  // namespace vantrel
