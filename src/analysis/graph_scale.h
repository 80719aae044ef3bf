#pragma once
// The arithmetic of the latency graph that has nothing to do with its
// points: the tick step, the value labels and the mapping between the
// 1024 x 768 virtual raster, a drawing surface and data values.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// The graph's axis limits.
struct GraphLimits {
    double minX = 0.0;
    double maxX = 1024.0;
    double minY = 0.0;
    double maxY = 1024.0;
    friend bool operator==(const GraphLimits&, const GraphLimits&) = default;
};

// A "nice" spacing for about `divisions` steps between low and high: 1, 2, 5
// or 10 times a power of ten. 1.0 when low is not below high (and when the
// range is not a finite positive number, which no power of ten can scale).
double NiceStep(double low, double high, int divisions);

// A tick value as text: "%g" up to 999.9 in magnitude, then "%gK", "%gM"
// and "%gG" of the value in thousands, millions and billions.
std::string GraphValueLabel(double value);

// A limit typed by the user or read from the profile, converted as the C
// library's text-to-number conversion does it: leading blanks, then the
// longest number that starts the text ("12.5ms" is 12.5); no number at all
// is 0.0. The decimal point is always '.', whatever the locale says.
double TextToNumber(std::string_view text);

// Option flag: the Y tick labels are percentages (the value x 100 and "%").
inline constexpr uint32_t kGraphPercentY = 0x40;
std::string GraphYLabel(double value, uint32_t options);

// A drawing surface of width x height units: the plot area is inset 75 units
// on every side; the X axis runs along y = height - 75.
struct GraphGeometry {
    static constexpr int kInset = 75;
    static constexpr int kRasterWidth = 1024;
    static constexpr int kRasterHeight = 768;

    int width = kRasterWidth;
    int height = kRasterHeight;

    int PlotWidth() const { return width - 2 * kInset; }
    int PlotHeight() const { return height - 2 * kInset; }

    // Virtual raster to surface.
    int SurfaceX(int virtualX) const;
    int SurfaceY(int virtualY) const;

    // Surface to data (the zoom rectangle): nullopt outside the plot area
    // (x outside 75 to width - 75, y outside 75 to height - 75) and for a
    // negative or non-finite value.
    std::optional<double> DataX(int x, const GraphLimits& limits) const;
    std::optional<double> DataY(int y, const GraphLimits& limits) const;

    // Surface to the virtual raster (the double-click), truncated toward
    // zero; nullopt when the plot area has no size.
    std::optional<int> VirtualX(int x) const;
    std::optional<int> VirtualY(int y) const;

    // Data value to surface along an axis (the ticks and grid lines).
    int TickX(double value, const GraphLimits& limits) const;
    int TickY(double value, const GraphLimits& limits) const;
};

}  // namespace vantrel
