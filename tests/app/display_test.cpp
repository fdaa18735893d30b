#include "windows_fixture.h"

#include "app/badge.h"
#include "chart/plot_widget.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>

namespace {

using display = instrument_test;

std::vector<QPointF> points(PlotChannel& c) {
    std::vector<QPointF> p;
    for (int i = 0; i < c.PointCount(); ++i)
        p.emplace_back(c.PointX(i), c.PointY(i));
    return p;
}

TEST_F(display, a_record_fills_every_status_label_and_both_charts) {
    connect_and_sync();
    for (QWidget* w : std::initializer_list<QWidget*>{
             F_Main->L_AveBL, F_Main->I_PMTOn, F_Main->I_PMTOff, F_Main->I_PumpOn,
             F_Main->I_PumpOff, F_Main->I_PMTTooHigh, F_Main->L_PMTTooHigh, F_Main->E_PMTOff})
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();

    show(data_line());
    EXPECT_EQ(F_Main->L_Serial->text(), "Serial Number: 007");
    EXPECT_EQ(F_Main->L_DataCounter->text(), "0 bad lines of 0 lines total");
    EXPECT_EQ(F_Main->L_CalCoeff->text(), "Calibration Coefficient: 1.25e-05");
    EXPECT_EQ(F_Main->L_PumpRPM->text(), "Pump RPM: 1500");
    EXPECT_EQ(F_Main->L_FlowRPM->text(), "Flow RPM: 1200");
    EXPECT_EQ(F_Main->L_PMTvoltage->text(), "PMT Input Voltage: 5.01");
    EXPECT_EQ(F_Main->L_HVControl->text(), "PMT Control Voltage: 0.500");
    EXPECT_EQ(F_Main->L_Raw->text(), "Raw counts: 42");
    EXPECT_EQ(F_Main->L_AveBL->text(), "Average Bioluminescence: 1.23e+05");
    EXPECT_FALSE(F_Main->L_AveBL->isHidden());
    EXPECT_EQ(F_Calibration->L_Pump->text(), "Pump Status: On");
    EXPECT_EQ(F_Calibration->L_PMT->text(), "PMT Status: On");

    // The first record is at x = 0 below; above, its 60 counts at 1 to 60.
    PlotChannel& bl = F_Main->Plot1->plot().GetChannel(1);
    EXPECT_EQ(points(bl), (std::vector<QPointF>{{0, 123456}}));
    PlotChannel& raw = F_Main->Plot2->plot().GetChannel(0);
    ASSERT_EQ(raw.PointCount(), 60);
    EXPECT_EQ(raw.PointX(0), 1);
    EXPECT_EQ(raw.PointY(0), 42);
    for (int j = 1; j < 60; ++j) {
        EXPECT_EQ(raw.PointX(j), j + 1);
        EXPECT_EQ(raw.PointY(j), j + 1);
    }

    // A bad line costs the line after it too; the count shows at the next
    // record, whose index is the number of records shown before it.
    // Out of step again, the reader runs one line behind: the fourth line
    // brings the third.
    inst.send("QELM garbage\r\n" + data_line({.ave_bl = 2e6, .count = 7}) + "\n" +
              data_line({.ave_bl = 3e6, .count = 9}) + "\n");
    clock.advance(4);
    show(data_line({.ave_bl = 4e6, .count = 11}));
    EXPECT_EQ(F_Main->L_DataCounter->text(), "1 bad lines of 1 lines total");
    EXPECT_EQ(F_Main->L_Raw->text(), "Raw counts: 9");
    EXPECT_EQ(points(bl), (std::vector<QPointF>{{0, 123456}, {5, 3e6}}));
    EXPECT_EQ(raw.PointCount(), 60);
    EXPECT_EQ(raw.PointY(0), 9);
}

TEST_F(display, the_raw_chart_fits_its_x_axis_to_the_60_counts_after_each_record) {
    connect_and_sync();
    PlotXAxis& x = F_Main->Plot2->plot().GetChannel(0).GetXAxis();
    for (int i = 0; i < 3; ++i) {
        // A view that does not hold the counts (zoomed, or scrolled away).
        x.SetMin(500 + i);
        x.SetSpan(10);
        show(data_line({.count = 40.0 + i}));
        // From 1 to 60, plus at most the allowance of a 2-pixel marker.
        EXPECT_LE(x.Min(), 1) << i;
        EXPECT_GT(x.Min(), 0.5) << i;
        EXPECT_GE(x.Max(), 60) << i;
        EXPECT_LT(x.Max(), 60.5) << i;
    }
}

TEST_F(display, shows_one_record_per_tick) {
    connect_and_sync();
    inst.send(data_line({.ave_bl = 10, .pmt = 5, .count = 1}) + "\n" +
              data_line({.ave_bl = 20, .pmt = 5, .count = 2}) + "\n");
    ticks(1);
    EXPECT_EQ(F_Main->shown, 1u);
    EXPECT_EQ(F_Main->L_Raw->text(), "Raw counts: 1");
    ticks(1);
    EXPECT_EQ(F_Main->shown, 2u);
    EXPECT_EQ(F_Main->L_Raw->text(), "Raw counts: 2");
    ticks(1);
    EXPECT_EQ(F_Main->shown, 2u);
    EXPECT_EQ(F_Main->Plot1->plot().GetChannel(1).PointCount(), 2);
}

TEST_F(display, badges_backgrounds_and_the_warning_follow_each_record) {
    struct row {
        unsigned pump;
        double pmt, hv;
        bool pump_on, pmt_on, warning;
    };
    const row rows[] = {
        {.pump = 1500, .pmt = 5.01, .hv = 0.71, .pump_on = true, .pmt_on = true, .warning = false},
        {.pump = 1500, .pmt = 5.01, .hv = 0.7101, .pump_on = true, .pmt_on = true, .warning = true},
        {.pump = 0, .pmt = 5.01, .hv = 0.0, .pump_on = false, .pmt_on = true, .warning = true},
        {.pump = 1, .pmt = 0.0, .hv = -0.5, .pump_on = true, .pmt_on = false, .warning = false},
        {.pump = 1500, .pmt = 0.01, .hv = 0.3, .pump_on = true, .pmt_on = true, .warning = false},
    };
    connect_and_sync();
    const QColor grey(128, 128, 128), black(Qt::black);
    for (const row& r : rows) {
        show(data_line({.pump = r.pump, .pmt = r.pmt, .hv = r.hv}));
        SCOPED_TRACE(::testing::Message()
                     << "pump " << r.pump << " pmt " << r.pmt << " hv " << r.hv);
        EXPECT_EQ(!F_Main->I_PumpOn->isHidden(), r.pump_on);
        EXPECT_EQ(!F_Main->I_PumpOff->isHidden(), !r.pump_on);
        EXPECT_EQ(!F_Main->I_PMTOn->isHidden(), r.pmt_on);
        EXPECT_EQ(!F_Main->I_PMTOff->isHidden(), !r.pmt_on);
        EXPECT_EQ(!F_Main->E_PMTOff->isHidden(), !r.pmt_on);
        EXPECT_EQ(F_Main->Plot1->plot().BackGroundColor(), r.pmt_on ? black : grey);
        EXPECT_EQ(F_Main->Plot2->plot().BackGroundColor(), r.pmt_on ? black : grey);
        EXPECT_EQ(!F_Main->I_PMTTooHigh->isHidden(), r.warning);
        EXPECT_EQ(!F_Main->L_PMTTooHigh->isHidden(), r.warning);
        EXPECT_EQ(F_Calibration->L_Pump->text(),
                  r.pump_on ? "Pump Status: On" : "Pump Status: Off");
        EXPECT_EQ(F_Calibration->L_PMT->text(), r.pmt_on ? "PMT Status: On" : "PMT Status: Off");
    }
    EXPECT_EQ(F_Main->E_PMTOff->text(), "PMT is turned off!");
    EXPECT_FALSE(F_Main->E_PMTOff->isEnabled());
    EXPECT_EQ(F_Main->I_PMTTooHigh->words(), "PMT Control Voltage Error!");
}

TEST_F(display, the_charts_are_set_up_as_the_windows_use_them) {
    Plot& raw = F_Main->Plot2->plot();
    Plot& bl = F_Main->Plot1->plot();
    EXPECT_EQ(raw.TitleText(), "QELM 60Hz - Last 60 raw counts");
    EXPECT_EQ(bl.TitleText(), "QELM 1Hz - Bioluminescence - photons/second");
    EXPECT_FALSE(raw.LegendVisible() || bl.LegendVisible());

    const PlotXAxis& rx = raw.GetXAxis(0);
    EXPECT_EQ(std::tuple(rx.Min(), rx.Span(), rx.Title(), rx.TitleShow()),
              std::tuple(1.0, 60.0, QString("1 Hz data record (1-60)"), true));
    EXPECT_EQ(rx.LabelText(30), "30");
    const PlotYAxis& ry = raw.GetYAxis(0);
    EXPECT_EQ(std::tuple(ry.Min(), ry.Span(), ry.Title(), ry.ScaleType()),
              std::tuple(0.0, 5.0, QString("Raw system counts"), ScaleLinear));
    const PlotXAxis& bx = bl.GetXAxis(0);
    EXPECT_EQ(std::tuple(bx.Min(), bx.Span(), bx.Title(), bx.TrackingStyle()),
              std::tuple(0.0, 100.0, QString("Time from start in seconds (clock from computer)"),
                         TrackScrollSmooth));
    const PlotYAxis& by = bl.GetYAxis(0);
    EXPECT_EQ(std::tuple(by.Min(), by.Span(), by.Title(), by.ScaleType(), by.LabelsFormatStyle(),
                         by.TrackingStyle()),
              std::tuple(1.0, 1e7, QString("Photons/second - log scale"), ScaleLog10,
                         LabelsExponent, TrackScaleMinMax));

    ASSERT_EQ(raw.ChannelCount(), 2);
    ASSERT_EQ(bl.ChannelCount(), 2);
    const PlotChannel& r0 = raw.GetChannel(0);
    EXPECT_EQ(std::tuple(r0.Name(), r0.Visible(), r0.TraceVisible(), r0.MarkersVisible(),
                         r0.MarkersSize()),
              std::tuple(QString("Raw Data"), true, true, true, 2));
    EXPECT_FALSE(raw.GetChannel(1).Visible());
    EXPECT_FALSE(bl.GetChannel(0).Visible());
    const PlotChannel& b1 = bl.GetChannel(1);
    EXPECT_EQ(std::tuple(b1.Name(), b1.TitleText(), b1.Color(), b1.TraceVisible(),
                         b1.MarkersVisible(), b1.MarkersSize()),
              std::tuple(QString("Computed Bioluminesence"), QString("Device Computed BL"),
                         QColor(Qt::yellow), false, true, 2));
}

TEST_F(display, connecting_empties_both_charts) {
    connect_and_sync();
    show(data_line());
    show(data_line());
    F_Main->A_Connect->trigger();
    // The old values stay until a new connection.
    EXPECT_EQ(F_Main->Plot1->plot().GetChannel(1).PointCount(), 2);
    connect();
    EXPECT_EQ(F_Main->Plot1->plot().GetChannel(1).PointCount(), 0);
    EXPECT_EQ(F_Main->Plot2->plot().GetChannel(0).PointCount(), 0);
    EXPECT_EQ(F_Main->shown, 0u);
}

TEST_F(display, while_recording_each_record_shown_feeds_the_file) {
    temp_dir dir;
    const std::string path = dir.file("rec.dat");
    connect_and_sync();
    show(data_line({.ave_bl = 1, .pmt = 5, .count = 1}));
    F_Main->reader->open_record(path, 0);
    F_Main->ShowRecordingState(true);
    EXPECT_EQ(F_Main->A_Record->text(), "Stop Recording");
    EXPECT_EQ(F_Main->A_Record->shortcut(), QKeySequence(Qt::Key_F4));
    show(data_line({.ave_bl = 2, .pmt = 5, .count = 2}));
    show(data_line({.ave_bl = 3, .pmt = 5, .count = 3}));
    EXPECT_EQ(read_file(path), data_line({.ave_bl = 2, .pmt = 5, .count = 2}) +
                                   data_line({.ave_bl = 3, .pmt = 5, .count = 3}));
}

// "E&xit" ends the process at once; what the reader took before must reach
// the file all the same.
TEST_F(display, exit_writes_and_closes_the_record_file_first) {
    temp_dir dir;
    const std::string path = dir.file("rec.dat");
    connect_and_sync();
    F_Main->reader->open_record(path, 0);
    F_Main->ShowRecordingState(true);
    show(data_line({.ave_bl = 1, .pmt = 5, .count = 1}));
    // Taken from the port, not yet shown.
    inst.send(data_line({.ave_bl = 2, .pmt = 5, .count = 2}) + "\n");
    F_Main->reader->poll();
    EXPECT_EXIT(F_Main->MExitClick(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(read_file(path), data_line({.ave_bl = 1, .pmt = 5, .count = 1}) +
                                   data_line({.ave_bl = 2, .pmt = 5, .count = 2}));
}

} // namespace
