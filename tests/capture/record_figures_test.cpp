#include "capture/record_figures.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(RecordFiguresTest, TheStatusBarText) {
    constexpr uint64_t kMiB = 1024 * 1024;
    const struct {
        RecordFigures figures;
        const char* text;
    } cases[] = {
        {{0, 0, 0}, "0 records, 0 KB"},
        {{1, 555, 0}, "1 record, 1 KB"},
        {{1234567, 652 * kMiB + 100, 0}, "1,234,567 records, 652 MB"},
        {{999, 2 * kMiB, 1000}, "999 records, 2 MB, driver dropped 1,000"},
        {{12345678, 1126 * kMiB, 7}, "12,345,678 records, 1.1 GB, driver dropped 7"},
    };
    for (const auto& c : cases) EXPECT_EQ(FiguresText(c.figures), c.text);
}

}  // namespace
}  // namespace vantrel
