#include "app/chart_setups.h"

void setup_raw_counts_chart(Plot& plot) {
    plot.SetTitleText("QELM 60Hz - Last 60 raw counts");
    plot.SetLegendVisible(false);
    PlotXAxis& x = plot.GetXAxis(0);
    x.SetMin(1);
    x.SetSpan(60);
    x.SetTitle("1 Hz data record (1-60)");
    x.SetTitleShow(true);
    x.SetLabelsPrecisionStyle(PrecisionFixedDecimals);
    x.SetLabelsPrecision(0);
    x.SetTrackingStyle(TrackScrollSmooth);
    x.SetTrackingAlignFirstStyle(AlignFirstAuto);
    PlotYAxis& y = plot.GetYAxis(0);
    y.SetMin(0);
    y.SetSpan(5);
    y.SetTitle("Raw system counts");
    y.SetTitleShow(true);
    y.SetTrackingStyle(TrackScaleMinMax);
    y.SetTrackingAlignFirstStyle(AlignFirstNone);

    PlotChannel& raw = plot.AddChannel();
    raw.SetName("Raw Data");
    raw.SetTitleText("Raw Data");
    raw.SetColor(Qt::red);
    raw.SetTraceVisible(true);
    raw.SetMarkersVisible(true);
    raw.SetMarkersSize(2);
    PlotChannel& computed = plot.AddChannel();
    computed.SetName("Computed Bioluminesence");
    computed.SetTitleText("Computed Bioluminesence");
    computed.SetVisible(false);
    computed.SetVisibleInLegend(false);
    computed.SetColor(Qt::yellow);
}

void setup_bioluminescence_chart(Plot& plot) {
    plot.SetTitleText("QELM 1Hz - Bioluminescence - photons/second");
    plot.SetLegendVisible(false);
    PlotXAxis& x = plot.GetXAxis(0);
    x.SetMin(0);
    x.SetSpan(100);
    x.SetTitle("Time from start in seconds (clock from computer)");
    x.SetTitleShow(true);
    x.SetTrackingStyle(TrackScrollSmooth);
    x.SetTrackingAlignFirstStyle(AlignFirstAuto);
    PlotYAxis& y = plot.GetYAxis(0);
    y.SetScaleType(ScaleLog10);
    y.SetMin(1);
    y.SetSpan(10000000);
    y.SetTitle("Photons/second - log scale");
    y.SetTitleShow(true);
    y.SetLabelsFormatStyle(LabelsExponent);
    y.SetTrackingStyle(TrackScaleMinMax);
    y.SetTrackingAlignFirstStyle(AlignFirstNone);

    PlotChannel& raw = plot.AddChannel();
    raw.SetName("Raw Data");
    raw.SetTitleText("Raw Data");
    raw.SetVisible(false);
    raw.SetVisibleInLegend(false);
    raw.SetColor(Qt::red);
    PlotChannel& bl = plot.AddChannel();
    bl.SetName("Computed Bioluminesence");
    bl.SetTitleText("Device Computed BL");
    bl.SetColor(Qt::yellow);
    bl.SetTraceVisible(false);
    bl.SetMarkersVisible(true);
    bl.SetMarkersSize(2);
}

void setup_calibration_chart(Plot& plot) {
    plot.SetTitleText("Untitled");
    plot.SetTitleFontName("Arial");
    plot.SetTitleFontSize(14);
    plot.SetTitleFontBold(true);
    plot.SetLegendVisible(true);
    PlotXAxis& x = plot.GetXAxis(0);
    x.SetMin(0);
    x.SetSpan(100);
    x.SetTitle("X-Axis 1");
    x.SetTitleShow(false);
    x.SetTrackingStyle(TrackScrollSmooth);
    x.SetTrackingAlignFirstStyle(AlignFirstAuto);
    PlotYAxis& y = plot.GetYAxis(0);
    y.SetMin(0);
    y.SetSpan(100);
    y.SetTitle("Y-Axis 1");
    y.SetTitleShow(false);
    y.SetTrackingStyle(TrackScaleMinMax);
    y.SetTrackingAlignFirstStyle(AlignFirstNone);
    const QColor colours[3] = {Qt::red, Qt::yellow, Qt::blue};
    for (int i = 0; i < 3; ++i) {
        PlotChannel& c = plot.AddChannel(); // "Channel <i + 1>"
        c.SetTitleText(c.Name());
        c.SetColor(colours[i]);
        c.SetTraceVisible(true);
        c.SetMarkersVisible(true);
        c.SetMarkersSize(3);
    }
}
