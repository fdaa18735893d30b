#pragma once

// The value-to-pixel map of one axis: what the model, the painter and the tests use to
// place a value. Built from an axis's view and a pixel length; pixel offsets run from
// Min (offset 0) to Max (offset pixels - 1). On a log axis values are placed by log10,
// a value that is not positive at 1, as the channels store them.

#include "chart/plot.h"

class plot_map {
public:
    plot_map(const PlotAxis& axis, int pixels);
    // The same for a view given apart from an axis.
    plot_map(bool log, double min, double span, int pixels);

    bool log() const { return log_; }
    // v in the axis's scale: log10 of it on a log axis (not positive counts as 1).
    static double scaled(double v, bool log);
    double scaled(double v) const { return scaled(v, log_); }
    // Position of v along the axis: 0 at Min, 1 at Max.
    double fraction(double v) const;
    // The value at a fraction of the axis (inverse of fraction()).
    double value_at(double fraction) const;
    // Pixels from the Min end of a value already in the axis's scale, and of a value.
    double offset(double scaled_value) const { return (scaled_value - origin_) * scale_; }
    double offset_of(double v) const { return offset(scaled(v)); }
    // The pixel a value is drawn on, counted from the Min end.
    int pixel_of(double v) const;
    // Pixels per unit of the axis's scale.
    double pixels_per_unit() const { return scale_; }
    // Min and Max in the axis's scale.
    double scaled_min() const { return origin_; }
    double scaled_max() const { return top_; }

private:
    bool log_;
    double min_, span_; // the view in data units
    double origin_;     // Min in the axis's scale
    double range_;      // Max - Min in the axis's scale
    double top_;        // Max in the axis's scale
    double scale_;      // pixels per scaled unit; 0 when the view has no width
};
