#pragma once

// The three charts of the program, configured as their windows configure them.

#include "chart/plot.h"

inline void setup_raw_counts_chart(Plot& plot) {
    plot.SetTitleText("QELM 60Hz - Last 60 raw counts");
    PlotXAxis& x = plot.GetXAxis(0);
    x.SetMin(1);
    x.SetSpan(60);
    x.SetTitle("1 Hz data record (1-60)");
    x.SetTitleShow(true);
    x.SetLabelsPrecisionStyle(PrecisionFixedDecimals);
    x.SetLabelsPrecision(0);
    PlotYAxis& y = plot.GetYAxis(0);
    y.SetMin(0);
    y.SetSpan(5);
    y.SetTitle("Raw system counts");
    y.SetTitleShow(true);
    PlotChannel& raw = plot.AddChannel();
    raw.SetName("Raw Data");
    raw.SetTitleText("Raw Data");
    raw.SetColor(Qt::red);
    raw.SetMarkersVisible(true);
    raw.SetMarkersSize(2);
    PlotChannel& computed = plot.AddChannel();
    computed.SetName("Computed Bioluminesence");
    computed.SetTitleText("Computed Bioluminesence");
    computed.SetVisible(false);
    computed.SetVisibleInLegend(false);
    computed.SetColor(Qt::yellow);
}

inline void setup_bioluminescence_chart(Plot& plot) {
    plot.SetTitleText("QELM 1Hz - Bioluminescence - photons/second");
    PlotXAxis& x = plot.GetXAxis(0);
    x.SetMin(0);
    x.SetSpan(100);
    x.SetTitle("Time from start in seconds (clock from computer)");
    x.SetTitleShow(true);
    PlotYAxis& y = plot.GetYAxis(0);
    y.SetMin(1);
    y.SetSpan(10000000);
    y.SetTitle("Photons/second - log scale");
    y.SetTitleShow(true);
    y.SetScaleType(ScaleLog10);
    y.SetLabelsFormatStyle(LabelsExponent);
    PlotChannel& raw = plot.AddChannel();
    raw.SetName("Raw Data");
    raw.SetTitleText("Raw Data");
    raw.SetVisible(false);
    raw.SetVisibleInLegend(false);
    PlotChannel& bl = plot.AddChannel();
    bl.SetName("Computed Bioluminesence");
    bl.SetTitleText("Device Computed BL");
    bl.SetColor(Qt::yellow);
    bl.SetTraceVisible(false);
    bl.SetMarkersVisible(true);
    bl.SetMarkersSize(2);
}

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
