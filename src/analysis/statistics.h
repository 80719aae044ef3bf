#pragma once
// The statistics table: per major function 0 to 27, the number of taken
// records, the sum of their latencies and the number that succeeded (status
// exactly 0), both sums in single precision and in list order, as the
// Statistics page has always shown them. Records whose major function is 28
// or more have no row and are skipped. Beyond the page's columns each row
// also carries the minimum, median, 99th percentile and maximum latency by
// nearest rank (the value at rank ceil(p/100 x n) of the sorted latencies).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/record_columns.h"
#include "analysis/record_selection.h"
#include "record/record_list.h"

namespace vantrel {

inline constexpr size_t kStatisticsRows = 28;

struct StatisticsRow {
    int32_t samples = 0;
    float total = 0.0f;      // milliseconds
    float successes = 0.0f;  // counted by adding 1.0
    // Nearest-rank latencies in milliseconds; meaningful when samples > 0
    // and the table was computed with the extended figures.
    float minimum = 0.0f;
    float median = 0.0f;
    float p99 = 0.0f;
    float maximum = 0.0f;
};

struct StatisticsTable {
    // False when the list stays empty: the selected-device case with no
    // device object selected or with no record taken. With every device
    // shown all 28 rows are listed, even for an empty record list.
    bool listed = false;
    std::array<StatisticsRow, kStatisticsRows> rows{};
};

// Computes the table; keeps its scratch memory between computations so that
// a page refreshing over a large list touches no fresh pages. One thread at
// a time.
class CStatisticsCalculator {
public:
    StatisticsTable Compute(const CRecordColumns& columns, const RecordSelection& selection,
                            bool extended);

private:
    void Percentiles(const CRecordColumns& columns, StatisticsTable& table);

    std::vector<uint8_t> m_rowOf;  // per record: its row, or kNoRow
    std::vector<uint32_t> m_keys;  // latencies as ordered keys, grouped by row
};

// One-off computation over a record list (the command line).
StatisticsTable ComputeStatistics(const CRecordList& records, const RecordSelection& selection,
                                  bool extended);

// The row label: the major function's name ("IRP_MJ_CREATE" ... "IRP_MJ_PNP").
std::string_view StatisticsRowLabel(size_t row);

// The headings of the page's five columns and of the four extended figures,
// for the page and the command line alike.
inline constexpr std::array<std::string_view, 5> kStatisticsHeadings = {
    "Major Code", "Samples", "Avg. Processing Time", "Total Processing Time", "% Successful"};
inline constexpr std::array<std::string_view, 4> kStatisticsExtendedHeadings = {
    "Min (ms)", "Median (ms)", "p99 (ms)", "Max (ms)"};

// The page's five cells of a row: label, "%i" of the samples, then for a
// non-zero count "%.3f" of the average (total over the count in single
// precision), "%.3f" of the total and "%.2f %%" of the success share; empty
// cells for a zero count.
std::array<std::string, 5> StatisticsCells(size_t row, const StatisticsRow& figures);
// The four extended cells, "%.3f" each (minimum, median, p99, maximum); empty
// for a zero count.
std::array<std::string, 4> StatisticsExtendedCells(const StatisticsRow& figures);

}  // namespace vantrel
