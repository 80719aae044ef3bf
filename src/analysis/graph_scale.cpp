#include "analysis/graph_scale.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vantrel {
namespace {

std::string Printf(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// trunc() into an int, saturating well inside the int range so that adding
// an offset cannot overflow (a coordinate that far outside any device is as
// good as any other there). NaN goes far to the negative side.
int TruncToInt(double v) {
    constexpr double kFar = 1 << 28;
    if (!(v > -kFar)) return -(1 << 28);
    if (v > kFar) return 1 << 28;
    return static_cast<int>(std::trunc(v));
}

std::optional<double> Checked(double v) {
    if (!std::isfinite(v) || v < 0.0) return std::nullopt;
    return v;
}

}  // namespace

double NiceStep(double low, double high, int divisions) {
    if (!(low < high)) return 1.0;
    const double raw = (high - low) / divisions;
    if (!std::isfinite(raw) || !(raw > 0.0)) return 1.0;
    // A range too small for any power of ten to scale (f overflows) gives 1.
    double f = 1.0;
    while (raw * f < 1.0) f *= 10.0;
    if (!std::isfinite(f)) return 1.0;
    while (raw * f > 10.0) f *= 0.1;
    const double g = raw * f;
    const double step = g <= 1.0 ? 1.0 / f : g <= 2.0 ? 2.0 / f : g <= 5.0 ? 5.0 / f : 10.0 / f;
    return std::isfinite(step) && step > 0.0 ? step : 1.0;
}

std::string GraphValueLabel(double v) {
    const double a = std::fabs(v);
    if (a <= 999.9) return Printf("%g", v);
    if (a <= 999999.9) return Printf("%gK", v * 0.001);
    if (a <= 999999999.9) return Printf("%gM", v * 1e-6);
    return Printf("%gG", v * 1e-9);
}

std::string GraphYLabel(double value, uint32_t options) {
    if (options & kGraphPercentY) return GraphValueLabel(value * 100.0) + "%";
    return GraphValueLabel(value);
}

double TextToNumber(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
    if (at < text.size() && text[at] == '+') {  // from_chars takes '-' only
        if (++at < text.size() && text[at] == '-') return 0.0;
    }
    double value = 0.0;
    const char* first = text.data() + at;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Beyond the range of a double: let the C library decide between
        // +-HUGE_VAL and 0, with the text's point written the locale's way.
        std::string number(first, end);
        // The locale is set once at start-up and only read afterwards.
        const char point = *std::localeconv()->decimal_point;  // NOLINT(concurrency-mt-unsafe)
        for (char& c : number)
            if (c == '.') c = point;
        return std::strtod(number.c_str(), nullptr);
    }
    return error == std::errc() ? value : 0.0;
}

int GraphGeometry::SurfaceX(int virtualX) const {
    return TruncToInt(virtualX / 1024.0 * PlotWidth()) + kInset;
}

int GraphGeometry::SurfaceY(int virtualY) const {
    return height - TruncToInt(virtualY / 768.0 * PlotHeight()) - kInset;
}

std::optional<double> GraphGeometry::DataX(int x, const GraphLimits& l) const {
    if (x < kInset || x > width - kInset || PlotWidth() <= 0) return std::nullopt;
    return Checked(l.minX + (l.maxX - l.minX) * (x - kInset) / PlotWidth());
}

std::optional<double> GraphGeometry::DataY(int y, const GraphLimits& l) const {
    if (y < kInset || y > height - kInset || PlotHeight() <= 0) return std::nullopt;
    return Checked(l.minY + (l.maxY - l.minY) * (height - y - kInset) / PlotHeight());
}

std::optional<int> GraphGeometry::VirtualX(int x) const {
    if (PlotWidth() <= 0) return std::nullopt;
    return TruncToInt(static_cast<double>(x - kInset) / PlotWidth() * 1024.0);
}

std::optional<int> GraphGeometry::VirtualY(int y) const {
    if (PlotHeight() <= 0) return std::nullopt;
    return TruncToInt(static_cast<double>(y - height + kInset) / PlotHeight() * -768.0);
}

int GraphGeometry::TickX(double v, const GraphLimits& l) const {
    return TruncToInt((v - l.minX) / (l.maxX - l.minX) * PlotWidth()) + kInset;
}

int GraphGeometry::TickY(double v, const GraphLimits& l) const {
    return height - TruncToInt((v - l.minY) / (l.maxY - l.minY) * PlotHeight()) - kInset;
}

}  // namespace vantrel
