#pragma once

#include "chart/plot.h"

#include <QImage>
#include <QSize>

// A channel's markers drawn by hand: the chart painted without the channel,
// then a disc stamped pixel by pixel at every point of the X view whose centre
// lies in the plot area. What the painter's dense drawing must equal.
QImage every_marker_by_hand(Plot& plot, PlotChannel& c, QSize size);
