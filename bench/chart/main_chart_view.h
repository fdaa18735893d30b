#pragma once

// The view that chart benchmarks paint: the main window's lower chart (bioluminescence at
// 1 Hz on a log Y axis, yellow 2-pixel markers, no trace) at 900 x 320 pixels, either the
// newest 100 seconds or everything in view. The view is described apart from any chart
// library, so the same figures can be taken with another one.

#include "chart/plot.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <cstddef>
#include <vector>

namespace chart_bench {

// Points of one channel, x in seconds from the start, one a second.
struct series {
    std::vector<double> x;
    std::vector<double> y;
};

enum class view_kind { newest_100_seconds, everything };

struct view_spec {
    QSize size{900, 320};
    double x_min = 0, x_max = 100;
    double y_min = 1, y_max = 1e7 + 1; // log10 scale
    QColor marker_color = Qt::yellow;
    int marker_radius = 2;
};

// Computed bioluminescence as the instrument reports it: a level drifting over decades
// with counting noise, now and then 0 (drawn at 1 on the log axis).
series make_bioluminescence(std::size_t points, unsigned seed = 1);

view_spec main_chart_view(const series& data, view_kind kind);

// Configures plot as the main window's lower chart, adds the points through AddPoint (so
// the axes track them as in the program) and sets the axes to the view.
void setup_main_chart(Plot& plot, const series& data, const view_spec& view);

// The picture of drawing every marker of the plot's channel 1 one by one: the chart painted
// without the channel, then a disc stamped at every point of the X view whose centre lies
// in the plot area, with the chart's own value-to-pixel map.
QImage every_marker_by_hand(Plot& plot, QSize size);

// Of the pixels that have the marker colour in either picture, the fraction that have it
// in both (1 when both pictures are the same).
double exact_agreement(const QImage& a, const QImage& b, QRgb marker);

} // namespace chart_bench
