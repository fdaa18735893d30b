#pragma once

// The three charts of the program: the main window's two as it sets them up,
// and the calibration history's as its window configures it.

#include "app/main_charts.h"
#include "chart/plot.h"

inline void setup_calibration_chart(Plot& plot) {
    plot.SetTitleText("Untitled");
    plot.SetTitleFontSize(14);
    plot.SetLegendVisible(true);
    const char* names[] = {"Channel 1", "Channel 2", "Channel 3"};
    const QColor colors[] = {Qt::red, Qt::yellow, Qt::blue};
    for (int i = 0; i < 3; ++i) {
        PlotChannel& c = plot.AddChannel();
        c.SetName(names[i]);
        c.SetTitleText(names[i]);
        c.SetColor(colors[i]);
        c.SetMarkersVisible(true);
        c.SetMarkersSize(3);
    }
}
