#include "chart/plot_map.h"

#include <cmath>

plot_map::plot_map(const PlotAxis& axis, int pixels)
    : plot_map(axis.ScaleType() == ScaleLog10, axis.Min(), axis.Span(), pixels) {}

plot_map::plot_map(bool log, double min, double span, int pixels)
    : log_(log), min_(min), span_(span), origin_(scaled(min, log)) {
    // On a log axis a Min that is not positive counts as 1.
    top_ = log ? std::log10((min > 0 ? min : 1.0) + span) : min + span;
    range_ = top_ - origin_;
    scale_ = range_ > 0 && std::isfinite(range_) ? (pixels - 1) / range_ : 0.0;
}

double plot_map::scaled(double v, bool log) {
    if (!log || std::isnan(v))
        return v;
    return v > 0 ? std::log10(v) : 0.0;
}

double plot_map::fraction(double v) const {
    if (!log_)
        return (v - min_) / span_;
    return range_ > 0 ? (scaled(v) - origin_) / range_ : 0.0;
}

double plot_map::value_at(double f) const {
    if (!log_)
        return min_ + f * span_;
    return std::pow(10.0, origin_ + f * range_);
}

int plot_map::pixel_of(double v) const {
    return static_cast<int>(std::lround(offset_of(v)));
}
